// The hybrid filterbank with AVX2: the alias-reduction butterflies of a boundary in one vector, and the
// inverse MDCT of eight subbands at a time, one subband per lane, with the arithmetic of imdct_kernels.h.
// Multiplies and adds stay separate (no fused multiply-add), so every lane gives the portable path's bits.
#include <immintrin.h>

#include <algorithm>

#include "hybrid_filterbank.h"
#include "imdct.h"
#include "imdct_kernels.h"

namespace vemla {
namespace {

#define VEMLA_AVX2 __attribute__((target("avx2,fma")))

// The eight butterflies of each boundary below `boundaries`: lines 10..17 of subband sb (butterflies 7..0)
// against lines 0..7 of subband sb + 1 (butterflies 0..7), so the lower side is reversed into step.
VEMLA_AVX2 void alias_butterflies(float* x, int boundaries) {
  const AntialiasTables& t = antialias_tables();
  const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  const __m256 cs = _mm256_permutevar8x32_ps(_mm256_loadu_ps(t.cs), reverse);
  const __m256 ca = _mm256_permutevar8x32_ps(_mm256_loadu_ps(t.ca), reverse);
  for (int sb = 0; sb < boundaries; ++sb) {
    float* upper = x + 18 * sb + 10;
    float* lower = x + 18 * sb + 18;
    const __m256 u = _mm256_loadu_ps(upper);
    const __m256 d = _mm256_permutevar8x32_ps(_mm256_loadu_ps(lower), reverse);
    _mm256_storeu_ps(upper, _mm256_sub_ps(_mm256_mul_ps(u, cs), _mm256_mul_ps(d, ca)));
    _mm256_storeu_ps(
        lower, _mm256_permutevar8x32_ps(_mm256_add_ps(_mm256_mul_ps(d, cs), _mm256_mul_ps(u, ca)), reverse));
  }
}

// Values 8h..8h + 7 of eight subbands of 18 values each (rows of `first`, one subband apart) as eight vectors,
// one per value with the subbands in lanes: rows r and r + 4 share a vector's halves, then 4 x 4 transposes
// within the halves.
VEMLA_AVX2 inline void transpose8(const float* first, int h, __m256* in) {
  __m256 r[4];
  for (int k = 0; k < 4; ++k)
    r[k] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(first + 18 * k + 8 * h)),
                                _mm_loadu_ps(first + 18 * (k + 4) + 8 * h), 1);
  __m256 s[4];
  for (int k = 0; k < 4; ++k)
    s[k] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(first + 18 * k + 8 * h + 4)),
                                _mm_loadu_ps(first + 18 * (k + 4) + 8 * h + 4), 1);
  for (int part = 0; part < 2; ++part) {
    const __m256* v = part == 0 ? r : s;
    const __m256 t0 = _mm256_unpacklo_ps(v[0], v[1]), t1 = _mm256_unpackhi_ps(v[0], v[1]);
    const __m256 t2 = _mm256_unpacklo_ps(v[2], v[3]), t3 = _mm256_unpackhi_ps(v[2], v[3]);
    __m256* out = in + 4 * part;
    out[0] = _mm256_shuffle_ps(t0, t2, 0x44);
    out[1] = _mm256_shuffle_ps(t0, t2, 0xEE);
    out[2] = _mm256_shuffle_ps(t1, t3, 0x44);
    out[3] = _mm256_shuffle_ps(t1, t3, 0xEE);
  }
}

// Subbands 0 and 1 of a mixed block take the normal long window whatever the block type: their lanes of
// raw are replaced by the single-subband transform.
VEMLA_AVX2 void long_lanes_of_mixed_block(const float* x, __m256* raw) {
  alignas(32) float lanes[36][8];
  for (int n = 0; n < 36; ++n) _mm256_store_ps(lanes[n], raw[n]);
  for (int sb = 0; sb < 2; ++sb) {
    float in[18], out[36];
    std::copy(x + 18 * sb, x + 18 * sb + 18, in);
    imdct(in, 0, out);
    for (int n = 0; n < 36; ++n) lanes[n][sb] = out[n];
  }
  for (int n = 0; n < 36; ++n) raw[n] = _mm256_load_ps(lanes[n]);
}

}  // namespace

VEMLA_AVX2 void avx2_hybrid_filterbank(float* x, int subbands, const GranuleInfo& granule,
                                       float (*overlap)[32], float (*slots)[32]) {
  const int boundaries = std::min(alias_boundaries(granule), subbands);
  alias_butterflies(x, boundaries);
  const int active = subbands > 0 && subbands <= alias_boundaries(granule) ? subbands + 1 : subbands;

  const uint32_t block_type = granule.window_switching_flag ? granule.block_type : 0;
  const bool mixed = granule.window_switching_flag && granule.mixed_block_flag && block_type != 0;
  const __m256* window = reinterpret_cast<const __m256*>(imdct_window_lanes(block_type));
  const __m256i lines = _mm256_setr_epi32(0, 18, 36, 54, 72, 90, 108, 126);
  // Frequency inversion: the odd subbands' values in the odd time slots change sign.
  const __m256 odd_subbands = _mm256_setr_ps(0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f);
  const int groups = (active + 7) / 8;
  for (int group = 0; group < groups; ++group) {
    const float* first = x + 144 * group;
    __m256 in[18], raw[36];
    // Values 0..15 by transposing loads; 16 and 17 (the rows' ends, which a load of eight would overrun)
    // gathered.
    transpose8(first, 0, in);
    transpose8(first, 1, in + 8);
    in[16] = _mm256_i32gather_ps(first + 16, lines, 4);
    in[17] = _mm256_i32gather_ps(first + 17, lines, 4);
    if (block_type == 2)
      imdct_kernels::imdct_short(in, raw);
    else
      imdct_kernels::imdct36(in, window, raw);
    if (group == 0 && mixed) long_lanes_of_mixed_block(x, raw);
    for (int j = 0; j < 18; ++j) {
      float* previous = overlap[j] + 8 * group;
      const __m256 value = _mm256_add_ps(raw[j], _mm256_loadu_ps(previous));
      _mm256_storeu_ps(previous, raw[18 + j]);
      _mm256_storeu_ps(slots[j] + 8 * group, j & 1 ? _mm256_xor_ps(value, odd_subbands) : value);
    }
  }
  // Subbands without values: the overlap alone, and no overlap for the next granule.
  for (int j = 0; j < 18; ++j) {
    for (int group = groups; group < 4; ++group) {
      float* previous = overlap[j] + 8 * group;
      const __m256 value = _mm256_loadu_ps(previous);
      _mm256_storeu_ps(previous, _mm256_setzero_ps());
      _mm256_storeu_ps(slots[j] + 8 * group, j & 1 ? _mm256_xor_ps(value, odd_subbands) : value);
    }
  }
}

}  // namespace vemla
