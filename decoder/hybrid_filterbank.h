// The Layer III hybrid filterbank after requantisation and stereo processing (ISO/IEC 11172-3, 2.4.3.4.8
// to 2.4.3.4.10): short-block reordering, alias reduction, inverse MDCT with overlap-add and frequency
// inversion, into the 18 time slots of a granule for the synthesis filter.
//
// The inverse transforms leave their results time slot by time slot, slots[s][sb], the order in which the
// synthesis filter takes them; the overlap of the next granule is kept in the same layout.
#pragma once

#include "layer3_side_info.h"
#include "scalefactor_bands.h"

namespace vemla {

// out[576] from in[576]: short bands go from window by window to the three windows interleaved line by
// line, the layout the short transform reads; long bands (and the long part of a mixed block) are copied.
void reorder_short(const float* in, const GranuleInfo& granule, const BandTable& bands, float* out);

// The boundaries between subbands that alias reduction treats: 31 for long blocks, only the one between
// subbands 0 and 1 in mixed blocks, none in pure short blocks.
inline int alias_boundaries(const GranuleInfo& granule) {
  return !granule.short_block() ? 31 : granule.mixed_block_flag ? 1 : 0;
}

// The butterflies coefficients cs[i] = 1 / sqrt(1 + c[i]^2) and ca[i] = c[i] cs[i] of the alias-reduction
// coefficients c of ISO/IEC 11172-3, Table B.9.
struct AntialiasTables {
  float cs[8];
  float ca[8];
};
const AntialiasTables& antialias_tables();

// The alias-reduction butterflies of x[576] at the boundaries below the first `subbands` subbands, which
// are all that hold values (the boundaries above them would only combine zeros).
void reduce_aliasing(float* x, const GranuleInfo& granule, int subbands = 32);

// The inverse MDCT of the subbands of x[576] (used as working storage), overlap-added with overlap, and
// with the odd time slots of the odd subbands negated (frequency inversion), into slots; overlap then holds
// the second halves for the next granule. Subbands from `subbands` on are 0 in x: their transform is 0,
// so they give the overlap alone and leave an overlap of 0.
void hybrid_synthesis(float* x, int subbands, const GranuleInfo& granule, float (*overlap)[32],
                      float (*slots)[32]);

// The whole stage after reordering: alias reduction and hybrid_synthesis of x[576], whose subbands from
// `subbands` on are 0. x is overwritten. Uses AVX2 where the processor has it (see simd.h).
void hybrid_filterbank(float* x, int subbands, const GranuleInfo& granule, float (*overlap)[32],
                       float (*slots)[32]);

// The two implementations of hybrid_filterbank; they give the same bits. The AVX2 one (in
// hybrid_filterbank_avx2.cpp) may be called only where the processor has AVX2 and FMA.
void portable_hybrid_filterbank(float* x, int subbands, const GranuleInfo& granule, float (*overlap)[32],
                                float (*slots)[32]);
void avx2_hybrid_filterbank(float* x, int subbands, const GranuleInfo& granule, float (*overlap)[32],
                            float (*slots)[32]);

}  // namespace vemla
