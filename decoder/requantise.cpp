#include "requantise.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "simd.h"

namespace vemla {
namespace {

// Pre-emphasis of the long bands (ISO/IEC 11172-3, Table B.6).
constexpr int32_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

struct PowerTables {
  // i^(4/3) for every magnitude the big values can carry: 15 plus a 13-bit escape.
  float pow43[kPow43Entries];
  // 2^(-i/2). Valid streams stay below index 59; the intensity positions of the lower sampling frequencies
  // (5-bit scale factors) with scalefac_scale and sub-block gain reach 90, so the table goes to 127.
  float half_power[128];
  PowerTables() {
    for (int i = 0; i < kPow43Entries; ++i)
      pow43[i] = static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0));
    for (int i = 0; i < 128; ++i) half_power[i] = static_cast<float>(std::pow(2.0, i * -0.5));
  }
};

const PowerTables& power_tables() {
  static const PowerTables tables;
  return tables;
}

// 2^((global_gain - 210) / 4) for every global_gain the side information can carry (8 bits).
struct GainTable {
  float value[256];
  GainTable() {
    for (int i = 0; i < 256; ++i)
      value[i] = static_cast<float>(std::pow(2.0, (static_cast<double>(i) - 210.0) * 0.25));
  }
};

float global_gain_factor(uint32_t global_gain) {
  static const GainTable table;
  if (global_gain < 256) return table.value[global_gain];
  return static_cast<float>(std::pow(2.0, (static_cast<double>(global_gain) - 210.0) * 0.25));
}

}  // namespace

const float* pow43_table() {
  return power_tables().pow43;
}

float requantised(int32_t q, float gain) {
  if (q == 0) return 0.0f;
  const uint32_t m = q < 0 ? -static_cast<uint32_t>(q) : static_cast<uint32_t>(q);
  const float v = m < kPow43Entries ? gain * power_tables().pow43[m]
                                    : gain * static_cast<float>(std::pow(static_cast<double>(m), 4.0 / 3.0));
  return q < 0 ? -v : v;
}

void portable_requantise_runs(const int32_t* quantised, const FactorRun* runs, int count, float gain,
                              float* out) {
  const float* pow43 = power_tables().pow43;
  for (const FactorRun* run = runs; run < runs + count; ++run) {
    for (int line = run->begin; line < run->end; ++line) {
      // requantised() without branches on the value, which zeros and signs in irregular places would
      // mispredict: pow43[0] is 0, and the sign goes onto the power as a bit (a negation, as there).
      const int32_t q = quantised[line];
      const uint32_t negative = static_cast<uint32_t>(q) & 0x80000000u;
      const uint32_t m = (static_cast<uint32_t>(q) ^ (0u - (negative >> 31))) + (negative >> 31);
      if (m >= kPow43Entries) [[unlikely]] {
        out[line] = requantised(q, gain) * run->factor;
        continue;
      }
      const float v = std::bit_cast<float>(std::bit_cast<uint32_t>(gain * pow43[m]) ^ negative);
      out[line] = v * run->factor;
    }
  }
}

void dequantise(const int32_t* quantised, const GranuleInfo& granule, const ScaleFactorSet& factors,
                const BandTable& bands, float* out, int lines) {
  const PowerTables& tables = power_tables();
  const float gain = global_gain_factor(granule.global_gain);
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
  // Whole groups of eight lines for the vector kernel: the lines added are 0 and give 0.
  lines = std::min((std::clamp(lines, 0, 576) + 7) & ~7, 576);
  std::fill(out + lines, out + 576, 0.0f);
  // The runs of lines sharing a factor, up to `lines`: at most 22 long bands, or 8 long bands and 10 short
  // bands of three windows.
  FactorRun runs[40];
  int count = 0;
  const auto add = [&](int begin, int end, float factor) {
    if (begin < lines) runs[count++] = {begin, std::min(end, lines), factor};
  };

  if (!granule.short_block()) {
    for (int band = 0; band < 22; ++band)
      add(bands.long_starts[band], bands.long_starts[band + 1], long_factor(band));
  } else {
    // Short bands are stored band by band, and within a band window by window. In a mixed block the long
    // bands end where short band 3 begins.
    int first_short = 0;
    if (granule.mixed_block_flag) {
      const int long_bands = mixed_long_bands(bands);
      for (int band = 0; band < long_bands; ++band)
        add(bands.long_starts[band], bands.long_starts[band + 1], long_factor(band));
      first_short = 3;
    }
    for (int band = first_short; band < 13; ++band) {
      const int width = bands.short_starts[band + 1] - bands.short_starts[band];
      const int start = 3 * bands.short_starts[band];
      for (int window = 0; window < 3; ++window)
        add(start + window * width, start + (window + 1) * width, short_factor(window, band));
    }
  }
  static const auto kernel =
      simd_level() == SimdLevel::Avx2 ? avx2_requantise_runs : portable_requantise_runs;
  kernel(quantised, runs, count, gain, out);
}

}  // namespace vemla
