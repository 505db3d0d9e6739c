// The synthesis filter's inner loops with AVX2 and FMA: the matrixing of eight blocks at once, one to a
// lane, and the window sums eight outputs to a vector, two columns at a time that share their window
// coefficients, in four sums so that consecutive fused multiply-adds do not wait for one another.
#include <immintrin.h>

#include <initializer_list>

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

// Rows r[0..7] become columns: lane j of row i goes to lane i of row j.
VEMLA_AVX2 inline void transpose8(__m256 (&r)[8]) {
  const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
  const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
  const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
  const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
  const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
  const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
  const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
  const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
  r[0] = _mm256_permute2f128_ps(u0, u4, 0x20), r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
  r[2] = _mm256_permute2f128_ps(u2, u6, 0x20), r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
  r[4] = _mm256_permute2f128_ps(u0, u4, 0x31), r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
  r[6] = _mm256_permute2f128_ps(u2, u6, 0x31), r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// Lee's fast DCT (as the portable path computes it, operation for operation) on eight blocks at once, one
// block to a lane: no shuffles within the transform.
template <int N>
[[gnu::always_inline]] VEMLA_AVX2 inline void lee_dct(const __m256* in, __m256* out,
                                                      const float (*factors)[8]) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    __m256 sums[N / 2], differences[N / 2], even[N / 2], odd[N / 2];
    for (int i = 0; i < N / 2; ++i) {
      sums[i] = _mm256_add_ps(in[i], in[N - 1 - i]);
      differences[i] = _mm256_mul_ps(_mm256_sub_ps(in[i], in[N - 1 - i]), _mm256_load_ps(factors[i]));
    }
    lee_dct<N / 2>(sums, even, factors + N / 2);
    lee_dct<N / 2>(differences, odd, factors + N / 2);
    for (int k = 0; k < N / 2 - 1; ++k) {
      out[2 * k] = even[k];
      out[2 * k + 1] = _mm256_add_ps(odd[k], odd[k + 1]);
    }
    out[N - 2] = even[N / 2 - 1];
    out[N - 1] = odd[N / 2 - 1];
  }
}

// Eight blocks at a time: their inputs transposed so that each lane holds one block, the transform, and its
// values transposed back into each block's rows.
VEMLA_AVX2 void avx2_matrix_rows(const float* const* inputs, int count, const SynthesisTables& t,
                                 float (*current)[16], float (*other)[16], float* odd16) {
  alignas(32) static const float silence[32] = {};
  const __m256 sign = _mm256_set1_ps(-0.0f);
  for (int first = 0; first < count; first += 8) {
    const int n = count - first < 8 ? count - first : 8;
    __m256 x[32], r[8];
    for (int q = 0; q < 4; ++q) {
      for (int b = 0; b < 8; ++b) r[b] = _mm256_loadu_ps((b < n ? inputs[first + b] : silence) + 8 * q);
      transpose8(r);
      for (int i = 0; i < 8; ++i) x[8 * q + i] = r[i];
    }
    __m256 X[32];
    lee_dct<32>(x, X, t.lee_lanes);
    // current = X16..X31, other = -X16, -X15..-X1, odd16 = -X0
    for (int half = 0; half < 2; ++half) {
      for (int i = 0; i < 8; ++i) r[i] = X[16 + 8 * half + i];
      transpose8(r);
      for (int b = 0; b < n; ++b) _mm256_store_ps(current[first + b] + 8 * half, r[b]);
      for (int i = 0; i < 8; ++i) r[i] = _mm256_xor_ps(X[16 - 8 * half - i], sign);
      transpose8(r);
      for (int b = 0; b < n; ++b) _mm256_store_ps(other[first + b] + 8 * half, r[b]);
    }
    _mm256_storeu_ps(odd16 + first, _mm256_xor_ps(X[0], sign));
  }
}

// A block's values into the history's write column of both buffers and into their repeats (in the vector
// width the window reads them in, so that the reads are served by the stores at once).
VEMLA_AVX2 inline void put_v(SynthesisHistory& h, const float* current, const float* other, float odd16) {
  const __m256 c0 = _mm256_load_ps(current), c1 = _mm256_load_ps(current + 8);
  const __m256 o0 = _mm256_load_ps(other), o1 = _mm256_load_ps(other + 8);
  for (const int copy : {0, 16}) {
    float* to_current = h.v[h.current][h.write_column + copy];
    float* to_other = h.v[h.current ^ 1][h.write_column + copy];
    _mm256_store_ps(to_current, c0);
    _mm256_store_ps(to_current + 8, c1);
    _mm256_store_ps(to_other, o0);
    _mm256_store_ps(to_other + 8, o1);
  }
  h.edge[h.current ^ 1][h.write_column] = odd16;
}

// One pair of columns at distances r and 15 - r back, the eight values from `half` on: the window holds
// high[r] = low[15 - r] for even r and -low[15 - r] for odd r (lane 0 of high is never output), so the two
// columns share their two table vectors. `v` is the column after the write column in the doubled buffer:
// the column r back is 15 - r columns on, the one 15 - r back r columns on, so every address is a constant
// offset. acc: the low and high sums of the columns at even distances, then at odd ones (kept apart as the
// one-column order kept them: summed together they lose 3 dB on loud streams).
template <bool OddR>
VEMLA_AVX2 inline void window_pair(const float* v, const SynthesisTables& t, int r, int half,
                                   __m256 (&acc)[4]) {
  __m256 p = _mm256_load_ps(t.low[r] + half), q = _mm256_load_ps(t.low[15 - r] + half);
  // Kept in registers: the compiler would otherwise load each table vector again for its second product.
  asm("" : "+x"(p), "+x"(q));
  const __m256 a = _mm256_load_ps(v + 16 * (15 - r) + half);
  const __m256 b = _mm256_load_ps(v + 16 * r + half);
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

// The low and high sums of both halves of the values: the two halves' pairs interleaved, so that eight
// independent sums hide the latency of the fused multiply-adds.
VEMLA_AVX2 inline void window_halves(const float* v, const SynthesisTables& t, __m256& low0, __m256& high0,
                                     __m256& low1, __m256& high1) {
  __m256 acc0[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
  __m256 acc1[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
  for (int r = 0; r < 8; r += 2) {
    window_pair<false>(v, t, r, 0, acc0);
    window_pair<false>(v, t, r, 8, acc1);
    window_pair<true>(v, t, r + 1, 0, acc0);
    window_pair<true>(v, t, r + 1, 8, acc1);
  }
  low0 = _mm256_add_ps(acc0[0], acc0[2]);
  high0 = _mm256_add_ps(acc0[1], acc0[3]);
  low1 = _mm256_add_ps(acc1[0], acc1[2]);
  high1 = _mm256_add_ps(acc1[1], acc1[3]);
}

// The 32 window sums, unscaled, in natural order.
VEMLA_AVX2 inline void window_sums(const float* v, const float* extra, const SynthesisTables& t, int c,
                                   __m256 (&out)[4]) {
  __m256 low0, high0, low1, high1;
  window_halves(v + 16 * (c + 1), t, low0, high0, low1, high1);
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

// Truncate toward zero, clamped from above; not-a-number gives 0 as in to_pcm16. Below -32768 needs no clamp:
// the conversion gives the value or, past the 32-bit range, INT32_MIN, and the packing saturates either.
VEMLA_AVX2 inline __m256i clamp_truncate(__m256 x) {
  x = _mm256_and_ps(x, _mm256_cmp_ps(x, x, _CMP_ORD_Q));
  return _mm256_cvttps_epi32(_mm256_min_ps(x, _mm256_set1_ps(32767.0f)));
}

// Packs 16 values to 16 bits with saturation (packs works within 128-bit lanes; put the quarters back).
VEMLA_AVX2 inline void store_pcm16(__m256 low, __m256 high, int16_t* out) {
  const __m256i packed = _mm256_packs_epi32(clamp_truncate(low), clamp_truncate(high));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute4x64_epi64(packed, 0xD8));
}

// For each block in turn: its values into the history, its window sums scaled, into `floats` or as 16-bit
// PCM into `pcm`, then the next column and buffer.
template <bool kPcm>
VEMLA_AVX2 inline void window_blocks(SynthesisHistory& h, const SynthesisTables& t,
                                     const float (*current)[16], const float (*other)[16], const float* odd16,
                                     int count, float scale, float (*floats)[32], int16_t (*pcm)[32]) {
  const __m256 factor = _mm256_set1_ps(scale);
  for (int k = 0; k < count; ++k) {
    put_v(h, current[k], other[k], odd16[k]);
    __m256 sums[4];
    window_sums(&h.v[h.current][0][0], h.edge[h.current], t, h.write_column, sums);
    for (__m256& sum : sums) sum = _mm256_mul_ps(sum, factor);
    if constexpr (kPcm) {
      store_pcm16(sums[0], sums[1], pcm[k]);
      store_pcm16(sums[2], sums[3], pcm[k] + 16);
    } else {
      for (int q = 0; q < 4; ++q) _mm256_storeu_ps(floats[k] + 8 * q, sums[q]);
    }
    h.advance();
  }
}

VEMLA_AVX2 void avx2_window_blocks(SynthesisHistory& h, const SynthesisTables& t, const float (*current)[16],
                                   const float (*other)[16], const float* odd16, int count, float scale,
                                   float (*out)[32]) {
  window_blocks<false>(h, t, current, other, odd16, count, scale, out, nullptr);
}

VEMLA_AVX2 void avx2_window_blocks_pcm16(SynthesisHistory& h, const SynthesisTables& t,
                                         const float (*current)[16], const float (*other)[16],
                                         const float* odd16, int count, float scale, int16_t (*out)[32]) {
  window_blocks<true>(h, t, current, other, odd16, count, scale, nullptr, out);
}

}  // namespace

SynthesisKernels avx2_synthesis_kernels() {
  return {avx2_matrix_rows, avx2_window_blocks, avx2_window_blocks_pcm16};
}

}  // namespace vemla
