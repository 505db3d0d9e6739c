#include "synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "simd.h"
#include "synthesis_kernels.h"
#include "synthesis_window.h"

namespace vemla {
namespace {

// out[k] = sum over i of in[i] cos((2i + 1) k pi / 2N), by Lee's recursive split into sums and scaled
// differences (B. G. Lee, 1984).
template <int N>
inline void fast_dct(const float* in, float* out, const float* factors) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    float sums[N / 2], differences[N / 2], even[N / 2], odd[N / 2];
    for (int i = 0; i < N / 2; ++i) {
      sums[i] = in[i] + in[N - 1 - i];
      differences[i] = (in[i] - in[N - 1 - i]) * factors[i];
    }
    fast_dct<N / 2>(sums, even, factors + N / 2);
    fast_dct<N / 2>(differences, odd, factors + N / 2);
    for (int k = 0; k < N / 2 - 1; ++k) {
      out[2 * k] = even[k];
      out[2 * k + 1] = odd[k] + odd[k + 1];
    }
    out[N - 2] = even[N / 2 - 1];
    out[N - 1] = odd[N / 2 - 1];
  }
}

void portable_matrix(const float* s, const SynthesisTables& t, float* current, float* other, float* odd16) {
  float x[32];
  fast_dct<32>(s, x, t.lee);
  for (int t = 0; t < 16; ++t) current[t] = x[16 + t];
  for (int t = 0; t < 16; ++t) other[t] = -x[16 - t];
  *odd16 = -x[0];
}

void portable_matrix_rows(const float* const* inputs, int count, const SynthesisTables& t, float (*current)[16],
                          float (*other)[16], float* odd16) {
  for (int k = 0; k < count; ++k) portable_matrix(inputs[k], t, current[k], other[k], &odd16[k]);
}

void portable_put_v(SynthesisHistory& h, const float* current, const float* other, float odd16) {
  for (const int copy : {0, 16}) {
    std::memcpy(h.v[h.current][h.write_column + copy], current, 16 * sizeof(float));
    std::memcpy(h.v[h.current ^ 1][h.write_column + copy], other, 16 * sizeof(float));
  }
  h.edge[h.current ^ 1][h.write_column] = odd16;
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

void portable_window_blocks(SynthesisHistory& h, const SynthesisTables& t, const float (*current)[16],
                            const float (*other)[16], const float* odd16, int count, float scale,
                            float (*out)[32]) {
  for (int k = 0; k < count; ++k) {
    portable_put_v(h, current[k], other[k], odd16[k]);
    portable_sums(&h.v[h.current][0][0], h.edge[h.current], t, h.write_column, out[k]);
    for (int j = 0; j < 32; ++j) out[k][j] *= scale;
    h.advance();
  }
}

void portable_window_blocks_pcm16(SynthesisHistory& h, const SynthesisTables& t, const float (*current)[16],
                                  const float (*other)[16], const float* odd16, int count, float scale,
                                  int16_t (*out)[32]) {
  for (int k = 0; k < count; ++k) {
    float sums[32];
    portable_window_blocks(h, t, current + k, other + k, odd16 + k, 1, scale, &sums);
    // to_pcm16 in a form the compiler turns into vector instructions: not-a-number to 0, clipped, truncated.
    int32_t whole[32];
    for (int j = 0; j < 32; ++j) {
      const float x = sums[j] == sums[j] ? sums[j] : 0.0f;
      whole[j] = static_cast<int32_t>(std::min(std::max(x, -32768.0f), 32767.0f));
    }
    for (int j = 0; j < 32; ++j) out[k][j] = static_cast<int16_t>(whole[j]);
  }
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
    float* lee = t->lee;
    for (int n = 32; n >= 2; n /= 2)
      for (int i = 0; i < n / 2; ++i) *lee++ = static_cast<float>(1.0 / (2.0 * std::cos((2 * i + 1) * M_PI / (2 * n))));
    for (int i = 0; i < 31; ++i) std::fill_n(t->lee_lanes[i], 8, t->lee[i]);
    return t;
  }();
  return *tables;
}

const SynthesisKernels& synthesis_kernels() {
  static const SynthesisKernels kernels =
      simd_level() == SimdLevel::Avx2
          ? avx2_synthesis_kernels()
          : SynthesisKernels{portable_matrix_rows, portable_window_blocks, portable_window_blocks_pcm16};
  return kernels;
}

SynthesisFilter::SynthesisFilter(int channel, float scale_factor)
    : kernels_(synthesis_kernels()), tables_(synthesis_tables()), channel_(channel), scale_(scale_factor) {
  reset();
}

void SynthesisFilter::reset() {
  history_ = SynthesisHistory{};
  std::memset(inputs_, 0, sizeof inputs_);
}

void SynthesisFilter::put_subband_samples(const float* values) { std::memcpy(inputs_, values, sizeof inputs_); }

void SynthesisFilter::synthesize_block(Obuffer& output) {
  synthesize_block(inputs_, output);
  std::memset(inputs_, 0, sizeof inputs_);
}

void SynthesisFilter::synthesize_block(const float* samples, Obuffer& output) {
  synthesize_slots(reinterpret_cast<const float(*)[32]>(samples), 1, output);
}

void SynthesisFilter::synthesize_blocks(SynthesisFilter& a, const float* a_samples, SynthesisFilter& b,
                                        const float* b_samples, Obuffer& output) {
  a.synthesize_block(a_samples, output);
  b.synthesize_block(b_samples, output);
}

void SynthesisFilter::window_blocks(const float (*current)[16], const float (*other)[16], const float* odd16,
                                    int count, bool floats, Samples& out) {
  if (floats)
    kernels_.window_blocks(history_, tables_, current, other, odd16, count, scale_ / 32768.0f, out.values);
  else
    kernels_.window_blocks_pcm16(history_, tables_, current, other, odd16, count, scale_, out.pcm);
}

void SynthesisFilter::synthesize_slots(const float (*slots)[32], int count, Obuffer& output) {
  const float* rows[kBatch];
  alignas(32) float current[kBatch][16], other[kBatch][16], odd16[kBatch + 8];
  alignas(32) Samples out;
  const bool floats = output.wants_float();
  for (int first = 0; first < count; first += kBatch) {
    const int n = std::min(kBatch, count - first);
    for (int k = 0; k < n; ++k) rows[k] = slots[first + k];
    kernels_.matrix_rows(rows, n, tables_, current, other, odd16);
    window_blocks(current, other, odd16, n, floats, out);
    put(out.pcm[0], out.values[0], n, floats, output);
  }
}

// The channels' samples go to the sink a batch at a time, channel by channel: sinks keep a place per channel.
void SynthesisFilter::synthesize_slots(SynthesisFilter& a, const float (*a_slots)[32], SynthesisFilter& b,
                                       const float (*b_slots)[32], int count, Obuffer& output) {
  const float* rows[2 * kBatch];
  alignas(32) float current[2 * kBatch][16], other[2 * kBatch][16], odd16[2 * kBatch + 8];
  alignas(32) Samples a_out, b_out;
  const bool floats = output.wants_float();
  for (int first = 0; first < count; first += kBatch) {
    const int n = std::min(kBatch, count - first);
    for (int k = 0; k < n; ++k) rows[k] = a_slots[first + k], rows[n + k] = b_slots[first + k];
    a.kernels_.matrix_rows(rows, 2 * n, a.tables_, current, other, odd16);
    a.window_blocks(current, other, odd16, n, floats, a_out);
    b.window_blocks(current + n, other + n, odd16 + n, n, floats, b_out);
    a.put(a_out.pcm[0], a_out.values[0], n, floats, output);
    b.put(b_out.pcm[0], b_out.values[0], n, floats, output);
  }
}

void SynthesisFilter::put(const int16_t* pcm, const float* values, int blocks, bool floats,
                          Obuffer& output) const {
  if (floats)
    output.put_float_samples(channel_, values, 32 * blocks);
  else
    output.put_samples(channel_, pcm, 32 * blocks);
}

}  // namespace vemla
