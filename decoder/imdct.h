// The inverse MDCT of Layer III (ISO/IEC 11172-3, 2.4.3.4.10.2) with its windows: 18 spectral values of one
// subband to 36 windowed time values, as one long transform (block types 0, 1, 3) or three short ones
// (block type 2).
#pragma once

#include <cstdint>

namespace vemla {

// out[36] from in[18]; in is used as working storage and overwritten. For block type 2, in holds the three
// windows interleaved (in[w + 3k] = value k of window w) and out[0..5] and out[30..35] are 0.
void imdct(float* in, uint32_t block_type, float* out);

// The window of a long block type (0, 1, 3) multiplied by the transform's output factors: 36 values.
const float* imdct_window(uint32_t block_type);
// The same, each value in all eight lanes of a vector, for transforms of eight subbands at once.
const float (*imdct_window_lanes(uint32_t block_type))[8];

}  // namespace vemla
