// Layer III side information and scale factors: ISO/IEC 11172-3, 2.4.1.7 and 2.4.2.7; for the lower sampling
// frequencies ISO/IEC 13818-3, 2.4.1.7 and 2.4.2.7. Field names are the standard's.
#pragma once

#include <cstdint>

#include "bit_reservoir.h"

namespace vemla {

class Ibitstream;

struct GranuleInfo {
  uint32_t part2_3_length = 0;
  uint32_t big_values = 0;
  uint32_t global_gain = 0;
  uint32_t scalefac_compress = 0;
  uint32_t window_switching_flag = 0;
  uint32_t block_type = 0;
  uint32_t mixed_block_flag = 0;
  uint32_t table_select[3] = {};
  uint32_t subblock_gain[3] = {};
  uint32_t region0_count = 0;
  uint32_t region1_count = 0;
  uint32_t preflag = 0;
  uint32_t scalefac_scale = 0;
  uint32_t count1table_select = 0;

  // Short windows in all subbands, or (mixed) in all but the first two.
  bool short_block() const { return window_switching_flag == 1 && block_type == 2; }
  bool mixed_block() const { return short_block() && mixed_block_flag == 1; }
};

struct Layer3SideInfo {
  uint32_t main_data_begin = 0;
  uint32_t private_bits = 0;
  struct Channel {
    uint32_t scfsi[4] = {};
    GranuleInfo gr[2];  // the lower sampling frequencies use granule 0 only
  } ch[2];
};

struct ScaleFactorSet {
  int32_t long_factors[23] = {};
  int32_t short_factors[3][13] = {};  // [window][band]
};

// Reads the side information of an MPEG-1 (version 1) or LSF (version 0) frame with one or two channels
// from the frame body. False when a granule has window switching with block type 0, which the standard
// forbids; the reading still goes to the end of the side information, so that the main data that follows
// is where the caller expects it.
bool read_side_information(Ibitstream& stream, int version, unsigned channels, Layer3SideInfo& side_info);

// MPEG-1 scale factors of one channel's granule gr (ISO/IEC 11172-3, 2.4.2.7): in granule 1 the groups of
// long-block bands whose scfsi bit is set keep granule 0's values and take no bits.
void read_mpeg1_scale_factors(Bit_Reserve& reservoir, const GranuleInfo& granule, const uint32_t (&scfsi)[4],
                              unsigned gr, ScaleFactorSet& factors);

// Bit widths of the four scale-factor groups of an LSF granule, with the row of the band-count table and
// the pre-emphasis flag they imply (ISO/IEC 13818-3, 2.4.3.2).
struct LsfScaleLengths {
  uint32_t slen[4] = {};
  int row = 0;
  uint32_t preflag = 0;
};
LsfScaleLengths read_lsf_scale_lengths(const GranuleInfo& granule, bool intensity_right);

// LSF scale factors of one channel (ISO/IEC 13818-3, 2.4.2.7). `intensity_right` marks the right channel of
// an intensity-stereo frame, whose values are also intensity positions; then `illegal_positions`, when
// given, receives for each of them the largest value its width can carry, 2^slen - 1, which marks a band
// that is not intensity-coded (ISO/IEC 13818-3, 2.4.3.2). Sets the granule's preflag.
void read_lsf_scale_factors(Bit_Reserve& reservoir, GranuleInfo& granule, bool intensity_right,
                            ScaleFactorSet& factors, ScaleFactorSet* illegal_positions = nullptr);

}  // namespace vemla
