// The synthesis filter's inner loops with AVX2 and FMA: the matrixing as two 16-point products after one
// butterfly, and the window sums eight outputs to a vector, two columns at a time that share their window
// coefficients, in four sums so that consecutive fused multiply-adds do not wait for one another.
#include <immintrin.h>

#include "synthesis_kernels.h"

namespace vemla {
namespace {

#define VEMLA_AVX2 __attribute__((target("avx2,fma")))

VEMLA_AVX2 inline __m256 reversed(__m256 v) {
  return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

// Lane 0 takes the first element of `next`, lanes 1..7 the elements 7..1 of `v`.
VEMLA_AVX2 inline __m256 reversed_after(__m256 v, __m256 next) {
  const __m256i down = _mm256_setr_epi32(0, 7, 6, 5, 4, 3, 2, 1);
  return _mm256_blend_ps(_mm256_permutevar8x32_ps(v, down), _mm256_permutevar8x32_ps(next, _mm256_setzero_si256()),
                         0x01);
}

// The values e0..e7 and o0..o7 interleaved: e0 o0 e1 o1 e2 o2 e3 o3 into `low`, the rest into `high`.
VEMLA_AVX2 inline void interleave(__m256 e, __m256 o, __m256& low, __m256& high) {
  const __m256 a = _mm256_unpacklo_ps(e, o), b = _mm256_unpackhi_ps(e, o);
  low = _mm256_permute2f128_ps(a, b, 0x20);
  high = _mm256_permute2f128_ps(a, b, 0x31);
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

// Rows i..i + 3 of the two products: row k's inputs a[i + k] and b[i + k] are lane k of the half `Half`
// (0x00 low, 0x11 high) of av and bv. sums: the even and odd products' two halves, for rows i, i + 2 and
// for rows i + 1, i + 3.
template <int Half>
VEMLA_AVX2 inline void matrix_rows(const SynthesisTables& t, int i, __m256 av, __m256 bv, __m256 (&sums)[8]) {
  const __m256 ah = _mm256_permute2f128_ps(av, av, Half), bh = _mm256_permute2f128_ps(bv, bv, Half);
  const __m256 a[4] = {_mm256_shuffle_ps(ah, ah, 0x00), _mm256_shuffle_ps(ah, ah, 0x55),
                       _mm256_shuffle_ps(ah, ah, 0xAA), _mm256_shuffle_ps(ah, ah, 0xFF)};
  const __m256 b[4] = {_mm256_shuffle_ps(bh, bh, 0x00), _mm256_shuffle_ps(bh, bh, 0x55),
                       _mm256_shuffle_ps(bh, bh, 0xAA), _mm256_shuffle_ps(bh, bh, 0xFF)};
  for (int k = 0; k < 4; ++k) {
    __m256* s = sums + 4 * (k & 1);
    s[0] = _mm256_fmadd_ps(a[k], _mm256_load_ps(t.even[i + k]), s[0]);
    s[1] = _mm256_fmadd_ps(a[k], _mm256_load_ps(t.even[i + k] + 8), s[1]);
    s[2] = _mm256_fmadd_ps(b[k], _mm256_load_ps(t.odd[i + k]), s[2]);
    s[3] = _mm256_fmadd_ps(b[k], _mm256_load_ps(t.odd[i + k] + 8), s[3]);
  }
}

// X, the 32-point DCT of S, from a[i] = s[i] + s[31 - i] (its even values) and b[i] = s[i] - s[31 - i] (its
// odd values), each a 16 x 16 product with one input broadcast per row; then the columns by permutations:
//   current = X16..X31          other = -X16, -X15..-X1          odd16 = -X0
VEMLA_AVX2 void avx2_matrix(const float* s, const SynthesisTables& t, float* current, float* other,
                            float* odd16) {
  const __m256 s0 = _mm256_loadu_ps(s), s1 = _mm256_loadu_ps(s + 8);
  const __m256 s2 = reversed(_mm256_loadu_ps(s + 24)), s3 = reversed(_mm256_loadu_ps(s + 16));
  // a[0..7], a[8..15], b[0..7], b[8..15]
  const __m256 a0 = _mm256_add_ps(s0, s2), a1 = _mm256_add_ps(s1, s3);
  const __m256 b0 = _mm256_sub_ps(s0, s2), b1 = _mm256_sub_ps(s1, s3);
  // Pairs (i, 31 - i) of zero inputs add nothing; above 16 inputs every pair has one.
  const int used = used_inputs(s);
  const int count = used > 16 ? 16 : used;
  __m256 e0 = _mm256_setzero_ps(), e1 = e0, o0 = e0, o1 = e0, f0 = e0, f1 = e0, p0 = e0, p1 = e0;
  // Four rows at a time, each input broadcast from a register (its half of the vector doubled, then its
  // lane), the rows in two sums so that consecutive fused multiply-adds do not wait for one another.
  __m256 sums[8] = {e0, e1, o0, o1, f0, f1, p0, p1};
  matrix_rows<0x00>(t, 0, a0, b0, sums);
  if (count > 4) matrix_rows<0x11>(t, 4, a0, b0, sums);
  if (count > 8) matrix_rows<0x00>(t, 8, a1, b1, sums);
  if (count > 12) matrix_rows<0x11>(t, 12, a1, b1, sums);
  e0 = sums[0], e1 = sums[1], o0 = sums[2], o1 = sums[3], f0 = sums[4], f1 = sums[5], p0 = sums[6], p1 = sums[7];
  e0 = _mm256_add_ps(e0, f0), e1 = _mm256_add_ps(e1, f1);
  o0 = _mm256_add_ps(o0, p0), o1 = _mm256_add_ps(o1, p1);
  __m256 x0, x1, x2, x3;  // X0..X7, X8..X15, X16..X23, X24..X31
  interleave(e0, o0, x0, x1);
  interleave(e1, o1, x2, x3);
  const __m256 sign = _mm256_set1_ps(-0.0f);
  _mm256_store_ps(current, x2);
  _mm256_store_ps(current + 8, x3);
  _mm256_store_ps(other, _mm256_xor_ps(reversed_after(x1, x2), sign));
  _mm256_store_ps(other + 8, _mm256_xor_ps(reversed_after(x0, x1), sign));
  *odd16 = -_mm256_cvtss_f32(x0);
}

// One pair of columns at distances r and 15 - r back, the eight values from `half` on: the window holds
// high[r] = low[15 - r] for even r and -low[15 - r] for odd r (lane 0 of high is never output), so the two
// columns share their two table vectors. acc: the low and high sums of the columns at even distances, then
// at odd ones (kept apart as the one-column order kept them: summed together they lose 3 dB on loud streams).
template <bool OddR>
VEMLA_AVX2 inline void window_pair(const float* v, const SynthesisTables& t, int c, int r, int half,
                                   __m256 (&acc)[4]) {
  __m256 p = _mm256_load_ps(t.low[r] + half), q = _mm256_load_ps(t.low[15 - r] + half);
  // Kept in registers: the compiler would otherwise load each table vector again for its second product.
  asm("" : "+x"(p), "+x"(q));
  const __m256 a = _mm256_load_ps(v + 16 * ((c - r) & 15) + half);
  const __m256 b = _mm256_load_ps(v + 16 * ((c + 1 + r) & 15) + half);
  if constexpr (OddR) {
    acc[2] = _mm256_fmadd_ps(a, p, acc[2]);
    acc[3] = _mm256_fnmadd_ps(a, q, acc[3]);
    acc[0] = _mm256_fmadd_ps(b, q, acc[0]);
    acc[1] = _mm256_fmadd_ps(b, p, acc[1]);
  } else {
    acc[0] = _mm256_fmadd_ps(a, p, acc[0]);
    acc[1] = _mm256_fmadd_ps(a, q, acc[1]);
    acc[2] = _mm256_fmadd_ps(b, q, acc[2]);
    acc[3] = _mm256_fnmadd_ps(b, p, acc[3]);
  }
}

// The low and high sums of the eight values from `half` on.
VEMLA_AVX2 inline void window_half(const float* v, const SynthesisTables& t, int c, int half, __m256& low,
                                   __m256& high) {
  __m256 acc[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
  for (int r = 0; r < 8; r += 2) {
    window_pair<false>(v, t, c, r, half, acc);
    window_pair<true>(v, t, c, r + 1, half, acc);
  }
  low = _mm256_add_ps(acc[0], acc[2]);
  high = _mm256_add_ps(acc[1], acc[3]);
}

// The 32 window sums, unscaled, in natural order.
VEMLA_AVX2 inline void window_sums(const float* v, const float* extra, const SynthesisTables& t, int c,
                                   __m256 (&out)[4]) {
  __m256 low0, high0, low1, high1;
  window_half(v, t, c, 0, low0, high0);
  window_half(v, t, c, 8, low1, high1);
  // Output 16: the odd16 values of the 16 columns, one product each, summed across the lanes.
  const __m256 e = _mm256_fmadd_ps(_mm256_load_ps(extra), _mm256_load_ps(t.middle_by_column[c]),
                                   _mm256_mul_ps(_mm256_load_ps(extra + 8), _mm256_load_ps(t.middle_by_column[c] + 8)));
  __m128 quarter = _mm_add_ps(_mm256_castps256_ps128(e), _mm256_extractf128_ps(e, 1));
  quarter = _mm_add_ps(quarter, _mm_movehl_ps(quarter, quarter));
  quarter = _mm_add_ss(quarter, _mm_movehdup_ps(quarter));
  out[0] = low0;
  out[1] = low1;
  // Outputs 16..31: output 16, then high[15..1].
  out[2] = _mm256_blend_ps(reversed_after(high1, high1), _mm256_broadcastss_ps(quarter), 0x01);
  out[3] = reversed_after(high0, high1);
}

VEMLA_AVX2 void avx2_window(const float* v, const float* extra, const SynthesisTables& t, int c, float scale,
                            float* out) {
  __m256 sums[4];
  window_sums(v, extra, t, c, sums);
  const __m256 factor = _mm256_set1_ps(scale);
  for (int k = 0; k < 4; ++k) _mm256_storeu_ps(out + 8 * k, _mm256_mul_ps(sums[k], factor));
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

VEMLA_AVX2 void avx2_window_pcm16(const float* v, const float* extra, const SynthesisTables& t, int c,
                                  float scale, int16_t* out) {
  __m256 sums[4];
  window_sums(v, extra, t, c, sums);
  const __m256 factor = _mm256_set1_ps(scale);
  store_pcm16(_mm256_mul_ps(sums[0], factor), _mm256_mul_ps(sums[1], factor), out);
  store_pcm16(_mm256_mul_ps(sums[2], factor), _mm256_mul_ps(sums[3], factor), out + 16);
}

}  // namespace

SynthesisKernels avx2_synthesis_kernels() { return {avx2_matrix, avx2_window, avx2_window_pcm16}; }

}  // namespace vemla
