#include "requantise.h"

#include <algorithm>
#include <cmath>

namespace vemla {
namespace {

// Pre-emphasis of the long bands (ISO/IEC 11172-3, Table B.6).
constexpr int32_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

struct PowerTables {
  float pow43[512];  // i^(4/3)
  // 2^(-i/2). Valid streams stay below index 59; the intensity positions of the lower sampling frequencies
  // (5-bit scale factors) with scalefac_scale and sub-block gain reach 90, so the table goes to 127.
  float half_power[128];
  PowerTables() {
    for (int i = 0; i < 512; ++i) pow43[i] = static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0));
    for (int i = 0; i < 128; ++i) half_power[i] = static_cast<float>(std::pow(2.0, i * -0.5));
  }
};

const PowerTables& power_tables() {
  static const PowerTables tables;
  return tables;
}

// |q|^(4/3) x gain, signed like q.
inline float requantised(int32_t q, float gain, const float* pow43) {
  if (q == 0) return 0.0f;
  const uint32_t m = q < 0 ? -static_cast<uint32_t>(q) : static_cast<uint32_t>(q);
  const float v =
      m < 512 ? gain * pow43[m] : gain * static_cast<float>(std::pow(static_cast<double>(m), 4.0 / 3.0));
  return q < 0 ? -v : v;
}

}  // namespace

void dequantise(const int32_t* quantised, const GranuleInfo& granule, const ScaleFactorSet& factors,
                const BandTable& bands, float* out, int lines) {
  const PowerTables& tables = power_tables();
  const float gain =
      static_cast<float>(std::pow(2.0, (static_cast<double>(granule.global_gain) - 210.0) * 0.25));
  const uint32_t shift = granule.scalefac_scale & 1;

  const auto long_factor = [&](int band) {
    const int32_t pre = granule.preflag ? kPretab[band] : 0;
    return tables.half_power[((factors.long_factors[band] + pre) << shift) & 127];
  };
  const auto short_factor = [&](int window, int band) {
    return tables.half_power[(4 * static_cast<int32_t>(granule.subblock_gain[window] & 7) +
                              (factors.short_factors[window][band] << shift)) &
                             127];
  };
  // Lines [begin, end) with one factor; nothing from `lines` on.
  const auto scale = [&](int begin, int end, float factor) {
    for (int line = begin; line < std::min(end, lines); ++line)
      out[line] = requantised(quantised[line], gain, tables.pow43) * factor;
  };
  lines = std::clamp(lines, 0, 576);
  std::fill(out + lines, out + 576, 0.0f);

  if (!granule.short_block()) {
    for (int band = 0; band < 22 && bands.long_starts[band] < lines; ++band)
      scale(bands.long_starts[band], bands.long_starts[band + 1], long_factor(band));
    return;
  }

  // Short bands are stored band by band, and within a band window by window. In a mixed block the long
  // bands end at line 36, where short band 3 begins.
  int first_short = 0;
  if (granule.mixed_block_flag) {
    const int long_bands = mixed_long_bands(bands);
    for (int band = 0; band < long_bands; ++band)
      scale(bands.long_starts[band], bands.long_starts[band + 1], long_factor(band));
    first_short = 3;
  }
  for (int band = first_short; band < 13 && 3 * bands.short_starts[band] < lines; ++band) {
    const int width = bands.short_starts[band + 1] - bands.short_starts[band];
    const int start = 3 * bands.short_starts[band];
    for (int window = 0; window < 3; ++window)
      scale(start + window * width, start + (window + 1) * width, short_factor(window, band));
  }
}

}  // namespace vemla
