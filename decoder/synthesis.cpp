#include "synthesis.h"

#include <cmath>
#include <cstring>

#include "simd.h"
#include "synthesis_kernels.h"
#include "synthesis_window.h"

namespace vemla {
namespace {

// 1 / (2 cos((2i + 1) pi / 2N)), i < N/2: the butterfly factors of Lee's fast DCT at size N.
template <int N>
struct LeeFactors {
  float value[N / 2];
  LeeFactors() {
    for (int i = 0; i < N / 2; ++i) value[i] = static_cast<float>(1.0 / (2.0 * std::cos((2 * i + 1) * M_PI / (2 * N))));
  }
};

template <int N>
const LeeFactors<N>& lee_factors() {
  static const LeeFactors<N> factors;
  return factors;
}

// out[k] = sum over i of in[i] cos((2i + 1) k pi / 2N), by Lee's recursive split into sums and scaled
// differences (B. G. Lee, 1984).
template <int N>
inline void fast_dct(const float* in, float* out, const float* const* factors) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    float sums[N / 2], differences[N / 2], even[N / 2], odd[N / 2];
    for (int i = 0; i < N / 2; ++i) {
      sums[i] = in[i] + in[N - 1 - i];
      differences[i] = (in[i] - in[N - 1 - i]) * factors[0][i];
    }
    fast_dct<N / 2>(sums, even, factors + 1);
    fast_dct<N / 2>(differences, odd, factors + 1);
    for (int k = 0; k < N / 2 - 1; ++k) {
      out[2 * k] = even[k];
      out[2 * k + 1] = odd[k] + odd[k + 1];
    }
    out[N - 2] = even[N / 2 - 1];
    out[N - 1] = odd[N / 2 - 1];
  }
}

void portable_matrix(const float* s, float* current, float* other) {
  static const float* const factors[5] = {lee_factors<32>().value, lee_factors<16>().value, lee_factors<8>().value,
                                          lee_factors<4>().value, lee_factors<2>().value};
  // With X the 32-point DCT of S: V[k] = X[16 + k] for k = 0..15, V[48 - k] = -X[k] for k = 0..16; the rest
  // follows from V[16 + j] = -V[16 - j], V[48 + j] = V[48 - j], V[16] = 0.
  float x[32];
  fast_dct<32>(s, x, factors);
  for (int k = 0; k < 16; ++k) current[k] = x[16 + k];
  current[16] = 0.0f;
  for (int j = 1; j < 16; ++j) current[16 + j] = -x[32 - j];
  for (int r = 0; r <= 16; ++r) other[r] = -x[16 - r];
  for (int j = 1; j < 16; ++j) other[16 + j] = -x[j];
}

void portable_window(const float* v, const float* w, int c, float scale, float* out) {
  float sum[32] = {};
  for (int column = 0; column < 16; ++column) {
    const float* row = w + 32 * ((c - column) & 15);
    for (int j = 0; j < 32; ++j) sum[j] += v[column * 32 + j] * row[j];
  }
  for (int j = 0; j < 32; ++j) out[j] = sum[j] * scale;
}

void portable_window_pcm16(const float* v, const float* w, int c, float scale, int16_t* out) {
  float sums[32];
  portable_window(v, w, c, scale, sums);
  for (int j = 0; j < 32; ++j) out[j] = to_pcm16(sums[j]);
}

void portable_window_pcm16_pair(const float* v1, const float* v2, const float* w, int c, float scale1,
                                float scale2, int16_t* out1, int16_t* out2) {
  portable_window_pcm16(v1, w, c, scale1, out1);
  portable_window_pcm16(v2, w, c, scale2, out2);
}

}  // namespace

const SynthesisTables& synthesis_tables() {
  static const SynthesisTables* const tables = [] {
    auto* t = new SynthesisTables;
    for (int r = 0; r < 16; ++r)
      for (int j = 0; j < 32; ++j)
        t->window[r][j] = static_cast<float>(kSynthesisWindowScaled[j + 32 * r]) / 65536.0f;
    for (int i = 0; i < 32; ++i)
      for (int k = 0; k < 32; ++k) t->dct[i][k] = static_cast<float>(std::cos((2 * i + 1) * k * M_PI / 64));
    return t;
  }();
  return *tables;
}

const SynthesisKernels& synthesis_kernels() {
  static const SynthesisKernels kernels =
      simd_level() == SimdLevel::Avx2
          ? avx2_synthesis_kernels()
          : SynthesisKernels{portable_matrix, portable_window, portable_window_pcm16,
                             portable_window_pcm16_pair};
  return kernels;
}

SynthesisFilter::SynthesisFilter(int channel, float scale_factor)
    : kernels_(synthesis_kernels()), tables_(synthesis_tables()), channel_(channel), scale_(scale_factor) {
  reset();
}

void SynthesisFilter::reset() {
  std::memset(v_, 0, sizeof v_);
  std::memset(inputs_, 0, sizeof inputs_);
  current_ = 0;
  write_column_ = 15;
}

void SynthesisFilter::put_subband_samples(const float* values) { std::memcpy(inputs_, values, sizeof inputs_); }

void SynthesisFilter::compute_v(const float* samples) {
  kernels_.matrix(samples, v_[current_][write_column_], v_[current_ ^ 1][write_column_]);
}

void SynthesisFilter::window_and_output(Obuffer& output) {
  const float* v = &v_[current_][0][0];
  const float* w = &tables_.window[0][0];
  if (output.wants_float()) {
    alignas(32) float values[32];
    kernels_.window(v, w, write_column_, scale_ / 32768.0f, values);
    output.put_float_samples(channel_, values, 32);
    return;
  }
  alignas(32) int16_t pcm[32];
  kernels_.window_pcm16(v, w, write_column_, scale_, pcm);
  output.put_samples(channel_, pcm, 32);
}

void SynthesisFilter::synthesize_block(Obuffer& output) {
  synthesize_block(inputs_, output);
  std::memset(inputs_, 0, sizeof inputs_);
}

void SynthesisFilter::synthesize_block(const float* samples, Obuffer& output) {
  compute_v(samples);
  window_and_output(output);
  advance();
}

void SynthesisFilter::synthesize_blocks(SynthesisFilter& a, const float* a_samples, SynthesisFilter& b,
                                        const float* b_samples, Obuffer& output) {
  if (a.write_column_ != b.write_column_ || a.current_ != b.current_ || output.wants_float()) {
    a.synthesize_block(a_samples, output);
    b.synthesize_block(b_samples, output);
    return;
  }
  a.compute_v(a_samples);
  b.compute_v(b_samples);
  alignas(32) int16_t pcm[2][32];
  a.kernels_.window_pcm16_pair(&a.v_[a.current_][0][0], &b.v_[b.current_][0][0], &a.tables_.window[0][0],
                               a.write_column_, a.scale_, b.scale_, pcm[0], pcm[1]);
  output.put_samples(a.channel_, pcm[0], 32);
  output.put_samples(b.channel_, pcm[1], 32);
  a.advance();
  b.advance();
}

void SynthesisFilter::advance() {
  write_column_ = (write_column_ + 1) & 15;
  current_ ^= 1;
}

}  // namespace vemla
