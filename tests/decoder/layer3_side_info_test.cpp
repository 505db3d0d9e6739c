// Side information and scale factors: field layout, the forbidden block type, scfsi reuse, scale-factor
// widths and the layouts of long, short and mixed blocks in MPEG-1 and at the lower sampling frequencies.
#include "layer3_side_info.h"

#include <gtest/gtest.h>

#include <cstring>

#include "bitstream.h"
#include "header.h"
#include "layer3_frames.h"
#include "support.h"

namespace vemla {
namespace {

using test::BitWriter;

// Writes a one-frame stream (twice, so that the header search accepts it) and reads its side information.
bool read_back(const test::StreamFormat& format, const test::FrameData& frame, Layer3SideInfo& side_info,
               uint32_t& first_main_data_byte) {
  test::TempDir dir;
  test::write_file(dir / "s.mp3", test::build_stream(format, {frame, frame}));
  Ibitstream stream((dir / "s.mp3").string());
  Header header;
  Crc16* crc = nullptr;
  EXPECT_TRUE(header.read_frame_header(stream, crc));
  const bool valid = read_side_information(stream, header.version(), header.channels(), side_info);
  first_main_data_byte = stream.read_bits(8);
  return valid;
}

TEST(SideInformation, ReadsEveryFieldAndStopsWhereTheMainDataBegins) {
  for (bool lsf : {false, true}) {
    test::StreamFormat format{lsf, 0, 0};
    test::FrameData frame;
    for (unsigned i = 0; i < format.granules() * 2; ++i) {
      test::GranuleData g;
      g.data.put(0xA7, 8);
      g.info.part2_3_length = 8;
      g.info.big_values = 100 + i;
      g.info.global_gain = 200 + i;
      g.info.scalefac_compress = lsf ? 300 + i : 9 + i;
      g.info.window_switching_flag = i & 1;
      g.info.block_type = i & 1 ? 2 : 0;
      g.info.mixed_block_flag = i == 3;
      g.info.table_select[0] = 5, g.info.table_select[1] = 17, g.info.table_select[2] = i & 1 ? 0 : 31;
      g.info.subblock_gain[0] = i & 1 ? 7 : 0, g.info.subblock_gain[2] = i & 1 ? 3 : 0;
      g.info.region0_count = i & 1 ? (i == 3 ? 7 : 8) : 11;
      g.info.region1_count = i & 1 ? 20 - g.info.region0_count : 5;
      g.info.preflag = !lsf && i == 2, g.info.scalefac_scale = 1, g.info.count1table_select = i & 1;
      frame.granules.push_back(g);
    }
    frame.scfsi[1][2] = 1;
    frame.main_data_begin = 0;
    Layer3SideInfo side_info;
    uint32_t first_byte = 0;
    EXPECT_TRUE(read_back(format, frame, side_info, first_byte));
    EXPECT_EQ(first_byte, 0xA7u);
    for (unsigned i = 0; i < frame.granules.size(); ++i) {
      const GranuleInfo& want = frame.granules[i].info;
      const GranuleInfo& got = side_info.ch[i % 2].gr[i / 2];
      EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << "granule " << i / 2 << " channel " << i % 2;
    }
    if (!lsf) {
      EXPECT_EQ(side_info.ch[1].scfsi[2], 1u);
    }
  }
}

TEST(SideInformation, ForbiddenBlockTypeFailsButReadsToTheEnd) {
  test::StreamFormat format{false, 3, 0};
  test::FrameData frame;
  frame.granules = {test::silent_granule(8), test::silent_granule(8)};
  frame.granules[0].info.window_switching_flag = 1;  // with block type 0
  frame.granules[1].data = BitWriter();
  frame.granules[1].data.put(0x5C, 8);
  frame.granules[0].data = BitWriter();
  frame.granules[0].data.put(0xC3, 8);
  Layer3SideInfo side_info;
  uint32_t first_byte = 0;
  EXPECT_FALSE(read_back(format, frame, side_info, first_byte));
  EXPECT_EQ(first_byte, 0xC3u);
}

class Mpeg1ScaleFactors : public testing::Test {
 protected:
  // Reads with every scale factor of the bits set to `value`.
  int read(uint32_t value, unsigned gr, int bits) {
    BitWriter w;
    for (int i = 0; i < 200; ++i) w.put(value, 1);
    Bit_Reserve r = test::reservoir_with(w);
    read_mpeg1_scale_factors(r, granule, scfsi, gr, factors);
    EXPECT_EQ(r.bits_consumed(), bits);
    return r.bits_consumed();
  }
  GranuleInfo granule;
  uint32_t scfsi[4] = {};
  ScaleFactorSet factors;
};

TEST_F(Mpeg1ScaleFactors, Granule1ReusesTheGroupsScfsiMarks) {
  granule.scalefac_compress = 15;  // slen 4 and 3
  scfsi[0] = scfsi[2] = 1;
  read(1, 0, 11 * 4 + 10 * 3);  // granule 0 reads everything
  EXPECT_EQ(factors.long_factors[0], 15);
  EXPECT_EQ(factors.long_factors[20], 7);
  EXPECT_EQ(factors.long_factors[21], 0);
  read(0, 1, 5 * 4 + 5 * 3);  // groups 1 and 3 only
  for (int band = 0; band < 21; ++band) {
    const bool kept = band < 6 || (band >= 11 && band < 16);
    EXPECT_EQ(factors.long_factors[band], kept ? (band < 6 ? 15 : 7) : 0) << band;
  }
}

TEST_F(Mpeg1ScaleFactors, WidthZeroReadsNothing) {
  factors.long_factors[3] = 9;
  read(1, 0, 0);
  EXPECT_EQ(factors.long_factors[3], 0);
}

TEST_F(Mpeg1ScaleFactors, ShortAndMixedBlockLayouts) {
  granule.window_switching_flag = 1, granule.block_type = 2, granule.scalefac_compress = 7;  // slen 1 and 3
  read(1, 1, 6 * 3 * 1 + 6 * 3 * 3);  // scfsi does not apply
  EXPECT_EQ(factors.short_factors[2][5], 1);
  EXPECT_EQ(factors.short_factors[0][6], 7);
  EXPECT_EQ(factors.short_factors[1][12], 0);
  granule.mixed_block_flag = 1;
  factors = ScaleFactorSet();
  read(1, 0, 8 + 3 * 3 + 6 * 3 * 3);
  EXPECT_EQ(factors.long_factors[7], 1);
  EXPECT_EQ(factors.short_factors[0][2], 0);
  EXPECT_EQ(factors.short_factors[2][3], 1);
  EXPECT_EQ(factors.short_factors[2][11], 7);
}

TEST(LsfScaleFactors, WidthsRowsAndPreflag) {
  struct Case {
    uint32_t compress;
    bool intensity_right;
    LsfScaleLengths want;
  };
  const Case cases[] = {
      {399, false, {{4, 4, 3, 3}, 0, 0}}, {450, false, {{2, 2, 2, 0}, 1, 0}},
      {500, false, {{0, 0, 0, 0}, 2, 1}}, {511, false, {{3, 2, 0, 0}, 2, 1}},
      {359, true, {{4, 5, 5, 0}, 3, 0}},  {487, true, {{3, 3, 3, 0}, 4, 0}},
      {509, true, {{3, 1, 0, 0}, 5, 0}},  {511, true, {{3, 2, 0, 0}, 5, 0}},  // 255: the 244.. case continued
  };
  for (const Case& c : cases) {
    GranuleInfo g;
    g.scalefac_compress = c.compress;
    const LsfScaleLengths got = read_lsf_scale_lengths(g, c.intensity_right);
    EXPECT_EQ(std::vector<uint32_t>(got.slen, got.slen + 4),
              std::vector<uint32_t>(c.want.slen, c.want.slen + 4))
        << c.compress << (c.intensity_right ? " intensity" : "");
    EXPECT_EQ(got.row, c.want.row) << c.compress;
    EXPECT_EQ(got.preflag, c.want.preflag) << c.compress;
  }
}

TEST(LsfScaleFactors, MixedBlocksHaveSixLongBandsAndIllegalPositionsFollowTheWidths) {
  GranuleInfo g;
  g.window_switching_flag = 1, g.block_type = 2, g.mixed_block_flag = 1;
  g.scalefac_compress = 2 * 58;  // intensity right channel: slen 1, 3, 4, 0; row 3, mixed: 6, 15, 12 values
  BitWriter w;
  for (int i = 0; i < 6; ++i) w.put(1, 1);
  for (int i = 0; i < 15; ++i) w.put(i % 8, 3);
  for (int i = 0; i < 12; ++i) w.put(15, 4);
  Bit_Reserve r = test::reservoir_with(w);
  ScaleFactorSet factors, illegal;
  read_lsf_scale_factors(r, g, true, factors, &illegal);
  EXPECT_EQ(r.bits_consumed(), 6 + 45 + 48);
  EXPECT_EQ(factors.long_factors[5], 1);
  EXPECT_EQ(illegal.long_factors[5], 1);
  EXPECT_EQ(factors.short_factors[0][3], 0);  // the short bands begin at band 3
  EXPECT_EQ(factors.short_factors[1][3], 1);
  EXPECT_EQ(factors.short_factors[2][7], 6);
  EXPECT_EQ(illegal.short_factors[2][7], 7);
  EXPECT_EQ(factors.short_factors[0][8], 15);
  EXPECT_EQ(illegal.short_factors[2][11], 15);
  EXPECT_EQ(factors.short_factors[0][12], 0);
  EXPECT_EQ(g.preflag, 0u);
}

}  // namespace
}  // namespace vemla
