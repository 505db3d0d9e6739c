#include "synthesis.h"

#include <cmath>
#include <cstring>

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
const LeeFactors<N> lee_factors;

// out[k] = sum over i of in[i] cos((2i + 1) k pi / 2N), by Lee's recursive split into sums and scaled
// differences (B. G. Lee, 1984).
template <int N>
inline void fast_dct(const float* in, float* out) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    float sums[N / 2], differences[N / 2], even[N / 2], odd[N / 2];
    for (int i = 0; i < N / 2; ++i) {
      sums[i] = in[i] + in[N - 1 - i];
      differences[i] = (in[i] - in[N - 1 - i]) * lee_factors<N>.value[i];
    }
    fast_dct<N / 2>(sums, even);
    fast_dct<N / 2>(differences, odd);
    for (int k = 0; k < N / 2 - 1; ++k) {
      out[2 * k] = even[k];
      out[2 * k + 1] = odd[k] + odd[k + 1];
    }
    out[N - 2] = even[N / 2 - 1];
    out[N - 1] = odd[N / 2 - 1];
  }
}

// The window D[j + 32m] for each write column c, laid out so that row j of the V buffer multiplies it
// element by element: rotated[c][j][column] = D[j + 32 ((c - column) mod 16)].
struct RotatedWindow {
  alignas(32) float rotated[16][32][16];
  RotatedWindow() {
    for (int c = 0; c < 16; ++c)
      for (int j = 0; j < 32; ++j)
        for (int column = 0; column < 16; ++column)
          rotated[c][j][column] = static_cast<float>(kSynthesisWindowScaled[j + 32 * ((c - column) & 15)]) / 65536.0f;
  }
};

const RotatedWindow window;

}  // namespace

SynthesisFilter::SynthesisFilter(int channel, float scale_factor) : channel_(channel), scale_(scale_factor) {
  reset();
}

void SynthesisFilter::reset() {
  std::memset(v_, 0, sizeof v_);
  std::memset(inputs_, 0, sizeof inputs_);
  current_ = 0;
  write_column_ = 15;
}

void SynthesisFilter::put_subband_samples(const float* values) { std::memcpy(inputs_, values, sizeof inputs_); }

void SynthesisFilter::compute_v() {
  // V[k] = sum of cos((16 + k)(2i + 1) pi / 64) S[i]. With X the 32-point DCT of S: V[k] = X[16 + k] for
  // k = 0..15, V[48 - k] = -X[k] for k = 0..16; the rest follows from V[16 + j] = -V[16 - j],
  // V[48 + j] = V[48 - j], V[16] = 0.
  float x[32];
  fast_dct<32>(inputs_, x);
  float(&current)[32][16] = v_[current_];
  float(&other)[32][16] = v_[current_ ^ 1];
  const int c = write_column_;
  // Rows 0..15 and 16..31 of the current buffer: V[0..15] and V[16..31].
  for (int k = 0; k < 16; ++k) current[k][c] = x[16 + k];
  current[16][c] = 0.0f;
  for (int j = 1; j < 16; ++j) current[16 + j][c] = -x[32 - j];
  // The other buffer takes V[32..63]: V[32 + r] = -X[16 - r] for r = 0..16, V[48 + j] = V[48 - j].
  for (int r = 0; r <= 16; ++r) other[r][c] = -x[16 - r];
  for (int j = 1; j < 16; ++j) other[16 + j][c] = -x[j];
}

void SynthesisFilter::window_and_output(Obuffer& output) {
  const float(&x)[32][16] = v_[current_];
  const float(&w)[32][16] = window.rotated[write_column_];
  alignas(32) float values[32];
  for (int j = 0; j < 32; ++j) {
    // Every float product is exact in double, so the sum keeps the precision of an extended accumulator.
    double sum = 0.0;
    for (int column = 0; column < 16; ++column) sum += static_cast<double>(x[j][column]) * w[j][column];
    values[j] = static_cast<float>(sum * scale_);
  }
  if (output.wants_float()) {
    const float to_unit = 1.0f / 32768.0f;
    for (float& v : values) v *= to_unit;
    output.put_float_samples(channel_, values, 32);
    return;
  }
  int16_t pcm[32];
  for (int j = 0; j < 32; ++j) pcm[j] = to_pcm16(values[j]);
  output.put_samples(channel_, pcm, 32);
}

void SynthesisFilter::synthesize_block(Obuffer& output) {
  compute_v();
  window_and_output(output);
  write_column_ = (write_column_ + 1) & 15;
  current_ ^= 1;
  std::memset(inputs_, 0, sizeof inputs_);
}

}  // namespace vemla
