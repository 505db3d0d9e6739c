// The synthesis filter's inner loops with AVX2 and FMA: 32 outputs at a time in four vectors of eight, each
// summed in two interleaved halves so that consecutive fused multiply-adds do not wait for one another.
#include <immintrin.h>

#include "synthesis_kernels.h"

namespace vemla {
namespace {

#define VEMLA_AVX2 __attribute__((target("avx2,fma")))

// Lane 0 takes the first element of `next`, lanes 1..7 the elements 7..1 of `v`.
VEMLA_AVX2 inline __m256 reversed_after(__m256 v, __m256 next) {
  const __m256i down = _mm256_setr_epi32(0, 7, 6, 5, 4, 3, 2, 1);
  return _mm256_blend_ps(_mm256_permutevar8x32_ps(v, down), _mm256_permutevar8x32_ps(next, _mm256_setzero_si256()),
                         0x01);
}

// Number of leading inputs up to the last non-zero one: subbands above it add nothing (in most blocks the
// top subbands carry no signal).
VEMLA_AVX2 inline int used_inputs(const float* s) {
  const __m256 zero = _mm256_setzero_ps();
  unsigned zeros = 0;
  for (int k = 0; k < 4; ++k)
    zeros |= static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(s + 8 * k), zero, _CMP_EQ_OQ)))
             << (8 * k);
  return zeros == ~0u ? 0 : 32 - __builtin_clz(~zeros);
}

// The matrixing: X, the 32-point DCT of S, as a matrix product (each input scales one row of cosines), then
// V's two halves by lane permutations of X:
//   V[0..31]  = X16..X31, 0, -X31..-X17      V[32..63] = -X16..-X1, -X0..-X15
VEMLA_AVX2 void avx2_matrix(const float* s, float* current, float* other) {
  const float(*dct)[32] = synthesis_tables().dct;
  // An even count: the input past the last non-zero one is zero itself, or the 32nd.
  const int count = (used_inputs(s) + 1) & ~1;
  __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0, b0 = a0, b1 = a0, b2 = a0, b3 = a0;
  for (int i = 0; i < count; i += 2) {
    const __m256 even = _mm256_broadcast_ss(s + i), odd = _mm256_broadcast_ss(s + i + 1);
    const float* e = dct[i];
    const float* o = dct[i + 1];
    a0 = _mm256_fmadd_ps(even, _mm256_load_ps(e + 0), a0);
    a1 = _mm256_fmadd_ps(even, _mm256_load_ps(e + 8), a1);
    a2 = _mm256_fmadd_ps(even, _mm256_load_ps(e + 16), a2);
    a3 = _mm256_fmadd_ps(even, _mm256_load_ps(e + 24), a3);
    b0 = _mm256_fmadd_ps(odd, _mm256_load_ps(o + 0), b0);
    b1 = _mm256_fmadd_ps(odd, _mm256_load_ps(o + 8), b1);
    b2 = _mm256_fmadd_ps(odd, _mm256_load_ps(o + 16), b2);
    b3 = _mm256_fmadd_ps(odd, _mm256_load_ps(o + 24), b3);
  }
  const __m256 x0 = _mm256_add_ps(a0, b0), x1 = _mm256_add_ps(a1, b1);
  const __m256 x2 = _mm256_add_ps(a2, b2), x3 = _mm256_add_ps(a3, b3);
  const __m256 sign = _mm256_set1_ps(-0.0f);
  _mm256_store_ps(current + 0, x2);
  _mm256_store_ps(current + 8, x3);
  _mm256_store_ps(current + 16, _mm256_xor_ps(reversed_after(x3, _mm256_setzero_ps()), sign));
  _mm256_store_ps(current + 24, _mm256_xor_ps(reversed_after(x2, x3), sign));
  _mm256_store_ps(other + 0, _mm256_xor_ps(reversed_after(x1, x2), sign));
  _mm256_store_ps(other + 8, _mm256_xor_ps(reversed_after(x0, x1), sign));
  _mm256_store_ps(other + 16, _mm256_xor_ps(x0, sign));
  _mm256_store_ps(other + 24, _mm256_xor_ps(x1, sign));
}

// The 32 windowed sums, scaled.
VEMLA_AVX2 inline void window_sums(const float* v, const float* window, int c, float scale,
                                   __m256 (&out)[4]) {
  __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0, b0 = a0, b1 = a0, b2 = a0, b3 = a0;
  for (int column = 0; column < 16; column += 2, v += 64) {
    const float* w = window + 32 * ((c - column) & 15);
    const float* x = window + 32 * ((c - column - 1) & 15);
    a0 = _mm256_fmadd_ps(_mm256_load_ps(v + 0), _mm256_load_ps(w + 0), a0);
    a1 = _mm256_fmadd_ps(_mm256_load_ps(v + 8), _mm256_load_ps(w + 8), a1);
    a2 = _mm256_fmadd_ps(_mm256_load_ps(v + 16), _mm256_load_ps(w + 16), a2);
    a3 = _mm256_fmadd_ps(_mm256_load_ps(v + 24), _mm256_load_ps(w + 24), a3);
    b0 = _mm256_fmadd_ps(_mm256_load_ps(v + 32), _mm256_load_ps(x + 0), b0);
    b1 = _mm256_fmadd_ps(_mm256_load_ps(v + 40), _mm256_load_ps(x + 8), b1);
    b2 = _mm256_fmadd_ps(_mm256_load_ps(v + 48), _mm256_load_ps(x + 16), b2);
    b3 = _mm256_fmadd_ps(_mm256_load_ps(v + 56), _mm256_load_ps(x + 24), b3);
  }
  const __m256 factor = _mm256_set1_ps(scale);
  out[0] = _mm256_mul_ps(_mm256_add_ps(a0, b0), factor);
  out[1] = _mm256_mul_ps(_mm256_add_ps(a1, b1), factor);
  out[2] = _mm256_mul_ps(_mm256_add_ps(a2, b2), factor);
  out[3] = _mm256_mul_ps(_mm256_add_ps(a3, b3), factor);
}

// Outputs 16 h .. 16 h + 15 of two filters at the same write column: the sums of window_sums, in the same
// order, with each coefficient vector loaded once for both.
VEMLA_AVX2 inline void window_half_pair(const float* v1, const float* v2, const float* window, int c, int h,
                                        __m256 (&sums1)[2], __m256 (&sums2)[2]) {
  __m256 a10 = _mm256_setzero_ps(), a11 = a10, b10 = a10, b11 = a10;
  __m256 a20 = a10, a21 = a10, b20 = a10, b21 = a10;
  v1 += 16 * h, v2 += 16 * h;
  for (int column = 0; column < 16; column += 2, v1 += 64, v2 += 64) {
    const float* w = window + 32 * ((c - column) & 15) + 16 * h;
    const float* x = window + 32 * ((c - column - 1) & 15) + 16 * h;
    const __m256 w0 = _mm256_load_ps(w), w1 = _mm256_load_ps(w + 8);
    const __m256 x0 = _mm256_load_ps(x), x1 = _mm256_load_ps(x + 8);
    a10 = _mm256_fmadd_ps(_mm256_load_ps(v1 + 0), w0, a10);
    a11 = _mm256_fmadd_ps(_mm256_load_ps(v1 + 8), w1, a11);
    b10 = _mm256_fmadd_ps(_mm256_load_ps(v1 + 32), x0, b10);
    b11 = _mm256_fmadd_ps(_mm256_load_ps(v1 + 40), x1, b11);
    a20 = _mm256_fmadd_ps(_mm256_load_ps(v2 + 0), w0, a20);
    a21 = _mm256_fmadd_ps(_mm256_load_ps(v2 + 8), w1, a21);
    b20 = _mm256_fmadd_ps(_mm256_load_ps(v2 + 32), x0, b20);
    b21 = _mm256_fmadd_ps(_mm256_load_ps(v2 + 40), x1, b21);
  }
  sums1[0] = _mm256_add_ps(a10, b10), sums1[1] = _mm256_add_ps(a11, b11);
  sums2[0] = _mm256_add_ps(a20, b20), sums2[1] = _mm256_add_ps(a21, b21);
}

VEMLA_AVX2 void avx2_window(const float* v, const float* w, int c, float scale, float* out) {
  __m256 sums[4];
  window_sums(v, w, c, scale, sums);
  for (int k = 0; k < 4; ++k) _mm256_storeu_ps(out + 8 * k, sums[k]);
}

// Clamp into the 16-bit range and truncate toward zero; not-a-number gives 0 as in to_pcm16.
VEMLA_AVX2 inline __m256i clamp_truncate(__m256 x) {
  x = _mm256_and_ps(x, _mm256_cmp_ps(x, x, _CMP_ORD_Q));
  return _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(x, _mm256_set1_ps(-32768.0f)), _mm256_set1_ps(32767.0f)));
}

// Packs 16 values to 16 bits with saturation (packs works within 128-bit lanes; put the quarters back).
VEMLA_AVX2 inline void store_pcm16(__m256 low, __m256 high, int16_t* out) {
  const __m256i packed = _mm256_packs_epi32(clamp_truncate(low), clamp_truncate(high));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute4x64_epi64(packed, 0xD8));
}

VEMLA_AVX2 void avx2_window_pcm16(const float* v, const float* w, int c, float scale, int16_t* out) {
  __m256 sums[4];
  window_sums(v, w, c, scale, sums);
  store_pcm16(sums[0], sums[1], out);
  store_pcm16(sums[2], sums[3], out + 16);
}

VEMLA_AVX2 void avx2_window_pcm16_pair(const float* v1, const float* v2, const float* w, int c, float scale1,
                                       float scale2, int16_t* out1, int16_t* out2) {
  const __m256 factor1 = _mm256_set1_ps(scale1), factor2 = _mm256_set1_ps(scale2);
  for (int h = 0; h < 2; ++h) {
    __m256 sums1[2], sums2[2];
    window_half_pair(v1, v2, w, c, h, sums1, sums2);
    store_pcm16(_mm256_mul_ps(sums1[0], factor1), _mm256_mul_ps(sums1[1], factor1), out1 + 16 * h);
    store_pcm16(_mm256_mul_ps(sums2[0], factor2), _mm256_mul_ps(sums2[1], factor2), out2 + 16 * h);
  }
}

}  // namespace

SynthesisKernels avx2_synthesis_kernels() {
  return {avx2_matrix, avx2_window, avx2_window_pcm16, avx2_window_pcm16_pair};
}

}  // namespace vemla
