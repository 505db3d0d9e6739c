// The Layer III hybrid filterbank after requantisation and stereo processing (ISO/IEC 11172-3, 2.4.3.4.8
// to 2.4.3.4.10): short-block reordering, alias reduction, inverse MDCT with overlap-add, frequency
// inversion, and the polyphase synthesis of the 18 time slots of a granule.
#pragma once

#include "layer3_side_info.h"
#include "obuffer.h"
#include "scalefactor_bands.h"
#include "synthesis.h"

namespace vemla {

// out[576] from in[576]: short bands go from window by window to the three windows interleaved line by
// line, the layout the short transform reads; long bands (and the long part of a mixed block) are copied.
void reorder_short(const float* in, const GranuleInfo& granule, const BandTable& bands, float* out);

// The alias-reduction butterflies between neighbouring subbands of x[576] (none for pure short blocks,
// only between subbands 0 and 1 in mixed blocks).
void reduce_aliasing(float* x, const GranuleInfo& granule);

// The inverse MDCT of all 32 subbands of x[576], in place, overlap-added with overlap[576], which then holds
// the second halves for the next granule.
void hybrid_synthesis(float* x, float* overlap, const GranuleInfo& granule);

// Negates the odd time slots of the odd subbands.
void frequency_inversion(float* x);

// Feeds the 18 time slots of x[576] (line = subband * 18 + slot) to the filter: 18 blocks of 32 samples.
void synthesize_granule(const float* x, SynthesisFilter& filter, Obuffer& output);

}  // namespace vemla
