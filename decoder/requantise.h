// Layer III requantisation (ISO/IEC 11172-3, 2.4.3.4.7): quantised values to spectral values, with the
// global gain, the scale factors, pre-emphasis and the sub-block gains.
#pragma once

#include <cstdint>

#include "layer3_side_info.h"
#include "scalefactor_bands.h"

namespace vemla {

// Writes out[576] from quantised[576] of one channel's granule, in the line order of the bitstream (short
// blocks band by band, window by window). The quantised values from line `lines` on are 0, and so are the
// values they give.
void dequantise(const int32_t* quantised, const GranuleInfo& granule, const ScaleFactorSet& factors,
                const BandTable& bands, float* out, int lines = 576);

}  // namespace vemla
