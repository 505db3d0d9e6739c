#include "layer3_side_info.h"

#include <array>

#include "bitstream.h"

namespace vemla {
namespace {

// slen1 and slen2 of MPEG-1 scalefac_compress (ISO/IEC 11172-3, 2.4.2.7).
constexpr uint32_t kSlen1[16] = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
constexpr uint32_t kSlen2[16] = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};

// The MPEG-1 groups of long bands that scfsi bits share: bands [start, end) with slen1 for the first two.
constexpr int kScfsiBands[5] = {0, 6, 11, 16, 21};

// Number of scale factors per group, [row][block kind][group]; kinds: 0 long, 1 short, 2 mixed (ISO/IEC
// 13818-3, Table of nr_of_sfb_block, 2.4.3.2).
constexpr uint8_t kLsfBandCounts[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},       {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},     {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};

void read_granule(Ibitstream& stream, int version, GranuleInfo& g, bool& valid) {
  g.part2_3_length = stream.read_bits(12);
  g.big_values = stream.read_bits(9);
  g.global_gain = stream.read_bits(8);
  g.scalefac_compress = stream.read_bits(version == 1 ? 4 : 9);
  g.window_switching_flag = stream.read_bits(1);
  if (g.window_switching_flag) {
    g.block_type = stream.read_bits(2);
    g.mixed_block_flag = stream.read_bits(1);
    g.table_select[0] = stream.read_bits(5);
    g.table_select[1] = stream.read_bits(5);
    g.table_select[2] = 0;
    for (uint32_t& gain : g.subblock_gain) gain = stream.read_bits(3);
    // Block type 0 is reserved with window switching.
    if (g.block_type == 0) valid = false;
    // Implicit region counts (ISO/IEC 11172-3, 2.4.2.7): not used for short blocks.
    g.region0_count = g.block_type == 2 && g.mixed_block_flag == 0 ? 8 : 7;
    g.region1_count = 20 - g.region0_count;
  } else {
    g.block_type = 0;
    g.mixed_block_flag = 0;
    for (uint32_t& table : g.table_select) table = stream.read_bits(5);
    g.region0_count = stream.read_bits(4);
    g.region1_count = stream.read_bits(3);
  }
  if (version == 1) g.preflag = stream.read_bits(1);
  g.scalefac_scale = stream.read_bits(1);
  g.count1table_select = stream.read_bits(1);
}

// Reads the scale factors' fields (at most 5 bits each) from a copy of the reservoir's position, handed back
// at the end: the position stays in a register between the stores of the values, and a width of 0 reads its
// zero like any other width rather than becoming a call to clear memory.
class ScaleFactorReader {
 public:
  explicit ScaleFactorReader(Bit_Reserve& reservoir)
      : reservoir_(reservoir), position_(reservoir.bits_consumed()) {}
  ~ScaleFactorReader() { reservoir_.set_bits_consumed(position_); }
  ScaleFactorReader(const ScaleFactorReader&) = delete;
  ScaleFactorReader& operator=(const ScaleFactorReader&) = delete;

  int32_t take(uint32_t bits) {
    const uint64_t value = (reservoir_.peek_bits(position_) >> 1) >> (63 - bits);
    position_ += static_cast<int32_t>(bits);
    return static_cast<int32_t>(value);
  }

 private:
  Bit_Reserve& reservoir_;
  int32_t position_;
};

// Short-block scale factors of bands [first, last) for windows 0..2 in turn, each with `slen` bits.
void read_short_bands(ScaleFactorReader& in, int first, int last, uint32_t slen, ScaleFactorSet& factors) {
  for (int band = first; band < last; ++band)
    for (int w = 0; w < 3; ++w) factors.short_factors[w][band] = in.take(slen);
}

}  // namespace

bool read_side_information(Ibitstream& stream, int version, unsigned channels, Layer3SideInfo& side_info) {
  const bool mono = channels == 1;
  bool valid = true;
  if (version == 1) {
    side_info.main_data_begin = stream.read_bits(9);
    side_info.private_bits = stream.read_bits(mono ? 5 : 3);
    for (unsigned ch = 0; ch < channels; ++ch)
      for (uint32_t& bit : side_info.ch[ch].scfsi) bit = stream.read_bits(1);
    for (unsigned gr = 0; gr < 2; ++gr)
      for (unsigned ch = 0; ch < channels; ++ch)
        read_granule(stream, version, side_info.ch[ch].gr[gr], valid);
  } else {
    side_info.main_data_begin = stream.read_bits(8);
    side_info.private_bits = stream.read_bits(mono ? 1 : 2);
    for (unsigned ch = 0; ch < channels; ++ch) read_granule(stream, version, side_info.ch[ch].gr[0], valid);
  }
  return valid;
}

void read_mpeg1_scale_factors(Bit_Reserve& reservoir, const GranuleInfo& granule, const uint32_t (&scfsi)[4],
                              unsigned gr, ScaleFactorSet& factors) {
  const uint32_t slen1 = kSlen1[granule.scalefac_compress & 15];
  const uint32_t slen2 = kSlen2[granule.scalefac_compress & 15];
  ScaleFactorReader in(reservoir);
  if (granule.short_block()) {
    int first_short = 0;
    if (granule.mixed_block_flag) {
      for (int band = 0; band < 8; ++band) factors.long_factors[band] = in.take(slen1);
      first_short = 3;
    }
    read_short_bands(in, first_short, 6, slen1, factors);
    read_short_bands(in, 6, 12, slen2, factors);
    for (auto& window : factors.short_factors) window[12] = 0;
    return;
  }
  for (int group = 0; group < 4; ++group) {
    if (scfsi[group] != 0 && gr != 0) continue;  // granule 0's values stand
    const uint32_t slen = group < 2 ? slen1 : slen2;
    for (int band = kScfsiBands[group]; band < kScfsiBands[group + 1]; ++band)
      factors.long_factors[band] = in.take(slen);
  }
  factors.long_factors[21] = factors.long_factors[22] = 0;
}

LsfScaleLengths read_lsf_scale_lengths(const GranuleInfo& granule, bool intensity_right) {
  LsfScaleLengths s;
  const uint32_t c = granule.scalefac_compress;
  if (intensity_right) {
    const uint32_t x = c >> 1;
    if (x < 180) {
      s.slen[0] = x / 36, s.slen[1] = x % 36 / 6, s.slen[2] = x % 36 % 6;
      s.row = 3;
    } else if (x < 244) {
      const uint32_t y = x - 180;
      s.slen[0] = y % 64 / 16, s.slen[1] = y % 16 / 4, s.slen[2] = y % 4;
      s.row = 4;
    } else {
      // 244..255; the standard defines the case up to 254 only, and 255 continues it (slen 3, 2, 0, 0).
      const uint32_t y = x - 244;
      s.slen[0] = y / 3, s.slen[1] = y % 3;
      s.row = 5;
    }
  } else if (c < 400) {
    s.slen[0] = c / 16 / 5, s.slen[1] = c / 16 % 5, s.slen[2] = c % 16 / 4, s.slen[3] = c % 4;
    s.row = 0;
  } else if (c < 500) {
    const uint32_t y = c - 400;
    s.slen[0] = y / 4 / 5, s.slen[1] = y / 4 % 5, s.slen[2] = y % 4;
    s.row = 1;
  } else {
    const uint32_t y = c - 500;
    s.slen[0] = y / 3, s.slen[1] = y % 3;
    s.row = 2;
    s.preflag = 1;
  }
  return s;
}

namespace {

// Spreads the values of an LSF granule, in the order they were read, over the bands.
void distribute_lsf(const int32_t* next, int kind, ScaleFactorSet& factors) {
  if (kind == 0) {
    for (int band = 0; band < 21; ++band) factors.long_factors[band] = *next++;
    factors.long_factors[21] = factors.long_factors[22] = 0;
    return;
  }
  int first_short = 0;
  if (kind == 2) {
    // ISO/IEC 13818-3: the long part of a mixed block is the first six long bands (lines 0..35 at these
    // rates), followed by short bands 3..11.
    for (int band = 0; band < 6; ++band) factors.long_factors[band] = *next++;
    factors.long_factors[6] = factors.long_factors[7] = 0;
    first_short = 3;
  }
  for (int band = first_short; band < 12; ++band)
    for (int w = 0; w < 3; ++w) factors.short_factors[w][band] = *next++;
  for (auto& window : factors.short_factors) window[12] = 0;
}

}  // namespace

void read_lsf_scale_factors(Bit_Reserve& reservoir, GranuleInfo& granule, bool intensity_right,
                            ScaleFactorSet& factors, ScaleFactorSet* illegal_positions) {
  const LsfScaleLengths lengths = read_lsf_scale_lengths(granule, intensity_right);
  granule.preflag = lengths.preflag;
  const int kind = granule.short_block() ? (granule.mixed_block_flag ? 2 : 1) : 0;

  // Every row of the band counts gives as many values as distribute_lsf takes for the kind (21, 36 or 33):
  // nothing is read that was not written, so the arrays need no clearing.
  int32_t values[45];
  int count = 0;
  {
    ScaleFactorReader in(reservoir);
    for (int group = 0; group < 4; ++group)
      for (int i = 0; i < kLsfBandCounts[lengths.row][kind][group]; ++i)
        values[count++] = in.take(lengths.slen[group]);
  }
  distribute_lsf(values, kind, factors);
  if (intensity_right && illegal_positions) {
    // The largest value of each band's width: the position that means "not coded".
    int32_t limits[45];
    count = 0;
    for (int group = 0; group < 4; ++group)
      for (int i = 0; i < kLsfBandCounts[lengths.row][kind][group]; ++i)
        limits[count++] = (1 << lengths.slen[group]) - 1;
    distribute_lsf(limits, kind, *illegal_positions);
  }
}

}  // namespace vemla
