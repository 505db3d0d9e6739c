// The inner loops of the synthesis filter, in a portable form and in AVX2/FMA form; the filter picks one set
// once per process (see simd.h).
#pragma once

#include <cstdint>

namespace vemla {

struct SynthesisTables {
  // window[r][j] = D[j + 32 r] (ISO/IEC 11172-3 Table 3-B.3): with write column c, row j of V-buffer column
  // `column` is multiplied by window[(c - column) mod 16][j].
  alignas(32) float window[16][32];
  // dct[i][k] = cos((2i + 1) k pi / 64): the 32-point DCT as a matrix, for the vector path.
  alignas(32) float dct[32][32];
};
const SynthesisTables& synthesis_tables();

struct SynthesisKernels {
  // The matrixing: V[k] = sum over i of cos((16 + k)(2i + 1) pi / 64) s[i]; V[0..31] go to `current`,
  // V[32..63] to `other` (one column of each V buffer).
  void (*matrix)(const float* s, float* current, float* other);
  // out[j] = scale x sum over columns of v[column][j] x w[(c - column) mod 16][j], for 16 columns of 32
  // values, c the write column.
  void (*window)(const float* v, const float* w, int c, float scale, float* out);
  // The same sums as 16-bit PCM: clipped and truncated toward zero.
  void (*window_pcm16)(const float* v, const float* w, int c, float scale, int16_t* out);
  // window_pcm16 of two filters at the same write column, each coefficient loaded once for both.
  void (*window_pcm16_pair)(const float* v1, const float* v2, const float* w, int c, float scale1,
                            float scale2, int16_t* out1, int16_t* out2);
};
const SynthesisKernels& synthesis_kernels();

// The AVX2/FMA set (synthesis_avx2.cpp); call only where the processor has AVX2 and FMA.
SynthesisKernels avx2_synthesis_kernels();

}  // namespace vemla
