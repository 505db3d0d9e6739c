#include "hybrid_filterbank.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imdct.h"
#include "simd.h"

namespace vemla {

const AntialiasTables& antialias_tables() {
  static const AntialiasTables tables = [] {
    constexpr double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    AntialiasTables t;
    for (int i = 0; i < 8; ++i) {
      const double s = 1.0 / std::sqrt(1.0 + c[i] * c[i]);
      t.cs[i] = static_cast<float>(s);
      t.ca[i] = static_cast<float>(c[i] * s);
    }
    return t;
  }();
  return tables;
}

void reorder_short(const float* in, const GranuleInfo& granule, const BandTable& bands, float* out) {
  if (!granule.short_block()) {
    std::memcpy(out, in, 576 * sizeof(float));
    return;
  }
  int first_band = 0;
  if (granule.mixed_block_flag) {
    std::memcpy(out, in, static_cast<size_t>(short_band3_line(bands)) * sizeof(float));
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

void reduce_aliasing(float* x, const GranuleInfo& granule, int subbands) {
  const int boundaries = std::min(alias_boundaries(granule), subbands);
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

void hybrid_synthesis(float* x, int subbands, const GranuleInfo& granule, float (*overlap)[32],
                      float (*slots)[32]) {
  const uint32_t block_type = granule.window_switching_flag ? granule.block_type : 0;
  const bool mixed = granule.window_switching_flag && granule.mixed_block_flag;
  float raw[36];
  for (int sb = 0; sb < subbands; ++sb) {
    imdct(x + 18 * sb, mixed && sb < 2 ? 0 : block_type, raw);
    for (int j = 0; j < 18; ++j) {
      const float value = raw[j] + overlap[j][sb];
      overlap[j][sb] = raw[18 + j];
      slots[j][sb] = (sb & j & 1) ? -value : value;
    }
  }
  for (int j = 0; j < 18; ++j) {
    for (int sb = subbands; sb < 32; ++sb) {
      slots[j][sb] = (sb & j & 1) ? -overlap[j][sb] : overlap[j][sb];
      overlap[j][sb] = 0.0f;
    }
  }
}

void portable_hybrid_filterbank(float* x, int subbands, const GranuleInfo& granule, float (*overlap)[32],
                                float (*slots)[32]) {
  reduce_aliasing(x, granule, subbands);
  // A butterfly at the boundary above the last subband with values gives the next one values.
  const int active = subbands > 0 && subbands <= alias_boundaries(granule) ? subbands + 1 : subbands;
  hybrid_synthesis(x, active, granule, overlap, slots);
}

void hybrid_filterbank(float* x, int subbands, const GranuleInfo& granule, float (*overlap)[32],
                       float (*slots)[32]) {
  static const auto kernel =
      simd_level() == SimdLevel::Avx2 ? avx2_hybrid_filterbank : portable_hybrid_filterbank;
  kernel(x, subbands, granule, overlap, slots);
}

}  // namespace vemla
