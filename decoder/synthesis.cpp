#include "synthesis.h"

#include <algorithm>
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

void portable_matrix(const float* s, const SynthesisTables&, float* current, float* other, float* odd16) {
  static const float* const factors[5] = {lee_factors<32>().value, lee_factors<16>().value, lee_factors<8>().value,
                                          lee_factors<4>().value, lee_factors<2>().value};
  float x[32];
  fast_dct<32>(s, x, factors);
  for (int t = 0; t < 16; ++t) current[t] = x[16 + t];
  for (int t = 0; t < 16; ++t) other[t] = -x[16 - t];
  *odd16 = -x[0];
}

// The window sums, written so that the compiler keeps the 32 sums in vector registers.
void portable_sums(const float* __restrict v, const float* __restrict extra, const SynthesisTables& t, int c,
                   float* __restrict out) {
  float low[16] = {}, high[16] = {};
  for (int column = 0; column < 16; ++column) {
    const int r = (c - column) & 15;
    const float* __restrict y = v + 16 * column;
    const float* __restrict l = t.low[r];
    const float* __restrict h = t.high[r];
    for (int k = 0; k < 16; ++k) {
      low[k] += y[k] * l[k];
      high[k] += y[k] * h[k];
    }
  }
  // Output 16 by four partial sums, as one vector of four.
  float middle[4] = {};
  const float* __restrict m = t.middle_by_column[c];
  for (int column = 0; column < 16; column += 4)
    for (int k = 0; k < 4; ++k) middle[k] += extra[column + k] * m[column + k];
  for (int k = 0; k < 16; ++k) out[k] = low[k];
  out[16] = (middle[0] + middle[1]) + (middle[2] + middle[3]);
  for (int k = 1; k < 16; ++k) out[32 - k] = high[k];
}

void portable_window(const float* v, const float* extra, const SynthesisTables& t, int c, float scale,
                     float* out) {
  portable_sums(v, extra, t, c, out);
  for (int j = 0; j < 32; ++j) out[j] *= scale;
}

void portable_window_pcm16(const float* v, const float* extra, const SynthesisTables& t, int c, float scale,
                           int16_t* out) {
  float sums[32];
  portable_window(v, extra, t, c, scale, sums);
  // to_pcm16 in a form the compiler turns into vector instructions: not-a-number to 0, clipped, truncated.
  int32_t whole[32];
  for (int j = 0; j < 32; ++j) {
    const float x = sums[j] == sums[j] ? sums[j] : 0.0f;
    whole[j] = static_cast<int32_t>(std::min(std::max(x, -32768.0f), 32767.0f));
  }
  for (int j = 0; j < 32; ++j) out[j] = static_cast<int16_t>(whole[j]);
}

}  // namespace

const SynthesisTables& synthesis_tables() {
  static const SynthesisTables* const tables = [] {
    auto* t = new SynthesisTables{};
    const auto d = [](int r, int j) { return static_cast<float>(kSynthesisWindowScaled[j + 32 * r]) / 65536.0f; };
    for (int r = 0; r < 16; ++r) {
      // An even distance back takes V[j] (-X for outputs 17..31), an odd one V[32 + j] (odd values).
      const float sign = r % 2 == 0 ? -1.0f : 1.0f;
      for (int k = 0; k < 16; ++k) t->low[r][k] = d(r, k);
      for (int k = 1; k < 16; ++k) t->high[r][k] = sign * d(r, 32 - k);
      t->middle[r] = r % 2 == 1 ? d(r, 16) : 0.0f;  // V[16] = 0
    }
    for (int c = 0; c < 16; ++c)
      for (int column = 0; column < 16; ++column) t->middle_by_column[c][column] = t->middle[(c - column) & 15];
    for (int i = 0; i < 16; ++i) {
      for (int k = 0; k < 16; ++k) {
        t->even[i][k] = static_cast<float>(std::cos((2 * i + 1) * (2 * k) * M_PI / 64));
        t->odd[i][k] = static_cast<float>(std::cos((2 * i + 1) * (2 * k + 1) * M_PI / 64));
      }
    }
    return t;
  }();
  return *tables;
}

const SynthesisKernels& synthesis_kernels() {
  static const SynthesisKernels kernels = simd_level() == SimdLevel::Avx2
                                              ? avx2_synthesis_kernels()
                                              : SynthesisKernels{portable_matrix, portable_window,
                                                                 portable_window_pcm16};
  return kernels;
}

SynthesisFilter::SynthesisFilter(int channel, float scale_factor)
    : kernels_(synthesis_kernels()), tables_(synthesis_tables()), channel_(channel), scale_(scale_factor) {
  reset();
}

void SynthesisFilter::reset() {
  std::memset(v_, 0, sizeof v_);
  std::memset(edge_, 0, sizeof edge_);
  std::memset(inputs_, 0, sizeof inputs_);
  current_ = 0;
  write_column_ = 15;
}

void SynthesisFilter::put_subband_samples(const float* values) { std::memcpy(inputs_, values, sizeof inputs_); }

void SynthesisFilter::compute_v(const float* samples) {
  kernels_.matrix(samples, tables_, v_[current_][write_column_], v_[current_ ^ 1][write_column_],
                  &edge_[current_ ^ 1][write_column_]);
}

void SynthesisFilter::window_and_output(Obuffer& output) {
  const float* v = &v_[current_][0][0];
  const float* extra = edge_[current_];
  if (output.wants_float()) {
    alignas(32) float values[32];
    kernels_.window(v, extra, tables_, write_column_, scale_ / 32768.0f, values);
    output.put_float_samples(channel_, values, 32);
    return;
  }
  alignas(32) int16_t pcm[32];
  kernels_.window_pcm16(v, extra, tables_, write_column_, scale_, pcm);
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
  a.synthesize_block(a_samples, output);
  b.synthesize_block(b_samples, output);
}

void SynthesisFilter::advance() {
  write_column_ = (write_column_ + 1) & 15;
  current_ ^= 1;
}

}  // namespace vemla
