// Layer III stereo processing (ISO/IEC 11172-3, 2.4.3.4.9; ISO/IEC 13818-3, 2.4.3.2): middle/side and
// intensity stereo, and the mix of both channels into one.
#pragma once

#include <cstdint>

#include "layer3_side_info.h"
#include "scalefactor_bands.h"

namespace vemla {

struct StereoMode {
  bool ms = false;               // middle/side stereo (joint stereo, mode_extension bit 1)
  bool intensity = false;        // intensity stereo (joint stereo, mode_extension bit 0)
  bool lsf = false;              // the intensity rules of the lower sampling frequencies
  uint32_t intensity_scale = 0;  // LSF: scalefac_compress of the right channel, mod 2
  // LSF: per scale factor, the illegal intensity position (2^slen - 1) that marks a band that is not
  // intensity-coded. MPEG-1 uses position 7.
  const ScaleFactorSet* illegal_positions = nullptr;
};

// Working storage of one call: the intensity position of each line (-1 = not intensity-coded) and its
// ratio (MPEG-1) or pair of channel factors (LSF).
struct StereoScratch {
  int32_t position[576];
  float ratio[576];
  float intensity_k[2][576];
};

// stereo_out[ch][576] from dequantised[ch][576] of a two-channel granule. The block structure is channel
// 0's; the right channel's scale factors carry the intensity positions. Both channels are 0 from line
// `lines` on, and so is what they give there.
void process_stereo(const float (&dequantised)[2][576], const ScaleFactorSet& right_factors,
                    const GranuleInfo& granule, const BandTable& bands, const StereoMode& mode,
                    StereoScratch& scratch, float (&stereo_out)[2][576], int lines = 576);

// The LSF intensity factors of one position into intensity_k[0][line] and intensity_k[1][line].
void lsf_intensity_factors(int32_t position, uint32_t intensity_scale, int line,
                           float (&intensity_k)[2][576]);

// stereo_out[0] becomes the average of both channels.
void mix_to_mono(float (&stereo_out)[2][576]);

}  // namespace vemla
