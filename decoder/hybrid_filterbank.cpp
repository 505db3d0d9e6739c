#include "hybrid_filterbank.h"

#include <cmath>
#include <cstring>

#include "imdct.h"

namespace vemla {
namespace {

// The butterfly coefficients cs[i] = 1 / sqrt(1 + c[i]^2) and ca[i] = c[i] cs[i] of the alias-reduction
// coefficients c of ISO/IEC 11172-3, Table B.9.
struct AntialiasTables {
  float cs[8];
  float ca[8];
  AntialiasTables() {
    constexpr double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; ++i) {
      const double s = 1.0 / std::sqrt(1.0 + c[i] * c[i]);
      cs[i] = static_cast<float>(s);
      ca[i] = static_cast<float>(c[i] * s);
    }
  }
};

const AntialiasTables& antialias_tables() {
  static const AntialiasTables tables;
  return tables;
}

}  // namespace

void reorder_short(const float* in, const GranuleInfo& granule, const BandTable& bands, float* out) {
  if (!granule.short_block()) {
    std::memcpy(out, in, 576 * sizeof(float));
    return;
  }
  int first_band = 0;
  if (granule.mixed_block_flag) {
    std::memcpy(out, in, 36 * sizeof(float));
    first_band = 3;
  }
  for (int band = first_band; band < 13; ++band) {
    const int start = bands.short_starts[band];
    const int width = bands.short_starts[band + 1] - start;
    const float* source = in + 3 * start;
    float* target = out + 3 * start;
    for (int f = 0; f < width; ++f)
      for (int w = 0; w < 3; ++w) target[3 * f + w] = source[w * width + f];
  }
}

void reduce_aliasing(float* x, const GranuleInfo& granule) {
  if (granule.short_block() && !granule.mixed_block_flag) return;
  const int boundaries = granule.short_block() ? 1 : 31;
  const AntialiasTables& t = antialias_tables();
  for (int sb = 0; sb < boundaries; ++sb) {
    float* upper = x + 18 * sb + 17;   // the top of subband sb, read downwards
    float* lower = x + 18 * (sb + 1);  // the bottom of subband sb + 1
    for (int i = 0; i < 8; ++i) {
      const float u = upper[-i];
      const float d = lower[i];
      upper[-i] = u * t.cs[i] - d * t.ca[i];
      lower[i] = d * t.cs[i] + u * t.ca[i];
    }
  }
}

void hybrid_synthesis(float* x, float* overlap, const GranuleInfo& granule) {
  const uint32_t block_type = granule.window_switching_flag ? granule.block_type : 0;
  const bool mixed = granule.window_switching_flag && granule.mixed_block_flag;
  float raw[36];
  for (int sb = 0; sb < 32; ++sb) {
    float* values = x + 18 * sb;
    float* previous = overlap + 18 * sb;
    imdct(values, mixed && sb < 2 ? 0 : block_type, raw);
    for (int j = 0; j < 18; ++j) {
      values[j] = raw[j] + previous[j];
      previous[j] = raw[18 + j];
    }
  }
}

void frequency_inversion(float* x) {
  for (int sb = 1; sb < 32; sb += 2)
    for (int slot = 1; slot < 18; slot += 2) x[18 * sb + slot] = -x[18 * sb + slot];
}

void synthesize_granule(const float* x, SynthesisFilter& filter, Obuffer& output) {
  alignas(32) float slot_values[32];
  for (int slot = 0; slot < 18; ++slot) {
    for (int sb = 0; sb < 32; ++sb) slot_values[sb] = x[18 * sb + slot];
    filter.put_subband_samples(slot_values);
    filter.synthesize_block(output);
  }
}

}  // namespace vemla
