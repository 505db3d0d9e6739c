// The inner loops of the synthesis filter, in a portable form and in AVX2/FMA form; the filter picks one set
// once per process (see simd.h).
//
// Of the 64 values V[0..63] the matrixing makes per block, the windowing needs only 33 distinct ones. With X
// the 32-point DCT of the subband samples (X[k] = sum over i of s[i] cos((2i + 1) k pi / 64)):
//   V[0..15] = X[16..31], V[16] = 0, V[17..31] = -X[31..17], V[32..47] = -X[16..1], V[48..63] = -X[0..15].
// Output j and output 32 - j (j = 1..15) take the same values, as do V[j] and V[32 + j] for j = 0: a block
// keeps `even` = X[16..31] for the sums in which it stands an even number of blocks back, and `odd` =
// -X[16], -X[15..1] and `odd16` = -X[0] for those in which it stands an odd number back (ISO/IEC 11172-3
// Annex A, the sums over U and D; the signs of V go into the window coefficients).
#pragma once

#include <cstdint>

namespace vemla {

struct SynthesisTables {
  // With r = (write column - column) mod 16 the distance back of a V-buffer column, `low`[r][t] weighs its
  // value t in output t, `high`[r][t] in output 32 - t (0 for t = 0), and `middle`[r] its odd16 value in
  // output 16 (0 for even r): D[j + 32 r] of ISO/IEC 11172-3 Table 3-B.3 with the signs of V.
  alignas(32) float low[16][16];
  alignas(32) float high[16][16];
  alignas(32) float middle[16];
  // `middle_by_column`[c][column] = middle[(c - column) mod 16]: output 16 as one product per write column.
  alignas(32) float middle_by_column[16][16];
  // The butterfly factors of Lee's fast DCT, 1 / (2 cos((2i + 1) pi / 2N)) for i < N/2, at N = 32 (16
  // values), 16, 8, 4 and 2, one after the other.
  float lee[31];
  // The same, each in all eight lanes of a vector, for the eight-block matrixing to multiply by directly.
  alignas(32) float lee_lanes[31][8];
};
const SynthesisTables& synthesis_tables();

// The standard's 1024-value V shift register as two buffers of 16 columns, written one column per block in
// a circle, so that nothing is ever shifted. The current buffer's column (write column - m) mod 16 holds what
// the sums need of the block m steps back: its `even` values for even m, its `odd` values (and in `edge` its
// odd16 value) for odd m. Columns 16..31 repeat 0..15, so that the 16 columns from any one on lie in a row.
struct SynthesisHistory {
  alignas(32) float v[2][32][16];
  alignas(32) float edge[2][16];
  int current = 0;
  int write_column = 15;
  // After a block: the next column, in the other buffer.
  void advance() {
    write_column = (write_column + 1) & 15;
    current ^= 1;
  }
};

struct SynthesisKernels {
  // The matrixing of `count` blocks, block k's 32 inputs at inputs[k]: its `even` values into current[k]
  // and its `odd` values into other[k] (for the block's column in each V buffer), odd16 into odd16[k], which
  // has room for `count` rounded up to 8. Both sets compute Lee's fast DCT alike, to the bit.
  void (*matrix_rows)(const float* const* inputs, int count, const SynthesisTables& t, float (*current)[16],
                      float (*other)[16], float* odd16);
  // For each of `count` blocks in turn, made by matrix_rows: its values into the history's columns, then
  // out[k][j] = scale x the window sums of output j over the 16 columns of the current buffer, then the next
  // column and buffer.
  void (*window_blocks)(SynthesisHistory& h, const SynthesisTables& t, const float (*current)[16],
                        const float (*other)[16], const float* odd16, int count, float scale,
                        float (*out)[32]);
  // The same sums as 16-bit PCM: clipped and truncated toward zero.
  void (*window_blocks_pcm16)(SynthesisHistory& h, const SynthesisTables& t, const float (*current)[16],
                              const float (*other)[16], const float* odd16, int count, float scale,
                              int16_t (*out)[32]);
};
const SynthesisKernels& synthesis_kernels();

// The AVX2/FMA set (synthesis_avx2.cpp); call only where the processor has AVX2 and FMA.
SynthesisKernels avx2_synthesis_kernels();

}  // namespace vemla
