// Stereo processing: middle/side, MPEG-1 intensity ratios and LSF intensity factors, where intensity coding
// starts in long, short and mixed blocks, the bands without scale factors, and the mono mix.
#include "stereo.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

class Stereo : public testing::Test {
 protected:
  void SetUp() override {
    for (float& v : d[0]) v = 1.0f;
    mode.intensity = true;
    mode.illegal_positions = &illegal;
    for (int32_t& p : illegal.long_factors) p = 7;
    for (auto& w : illegal.short_factors)
      for (int32_t& p : w) p = 7;
  }
  void run(int row = 3) { process_stereo(d, right, granule, band_table[row], mode, scratch, out); }
  // out[0] and out[1] at a line, as a pair.
  std::pair<float, float> at(int line) const { return {out[0][line], out[1][line]}; }

  float d[2][576] = {};
  ScaleFactorSet right, illegal;
  GranuleInfo granule;
  StereoMode mode;
  StereoScratch scratch;
  float out[2][576];
};

using P = std::pair<float, float>;

TEST_F(Stereo, MiddleSide) {
  mode.intensity = false, mode.ms = true;
  d[1][0] = 1.0f;
  run();
  EXPECT_EQ(at(0), P(1.4142135f, 0.0f));
  EXPECT_EQ(at(1), P(0.70710677f, 0.70710677f));
}

TEST_F(Stereo, Mpeg1IntensityRatiosAndIllegalPositions) {
  // 44.1 kHz long bands: 0..3, 4..7, 8..11, 12..15, 16..19. An all-zero right channel is intensity-coded
  // from band 0.
  const int32_t positions[5] = {0, 3, 6, 7, 9};
  for (int b = 0; b < 5; ++b) right.long_factors[b] = positions[b];
  run();
  EXPECT_EQ(at(0), P(0.0f, 1.0f));
  EXPECT_EQ(at(4), P(0.5f, 0.5f));
  EXPECT_NEAR(at(8).first, 1.0f, 1e-6f);
  EXPECT_NEAR(at(8).second, 0.0f, 1e-6f);
  EXPECT_EQ(at(12), P(1.0f, 0.0f));  // 7 is illegal: left/right
  EXPECT_EQ(at(16), P(1.0f, 0.0f));  // so is anything above
  mode.ms = true;
  run();
  EXPECT_EQ(at(16), P(0.70710677f, 0.70710677f));
  EXPECT_EQ(at(4), P(0.5f, 0.5f));  // intensity-coded lines are never middle/side
}

TEST_F(Stereo, IntensityStartsAboveTheRightChannelsLastValue) {
  for (int32_t& p : right.long_factors) p = 3;
  d[1][10] = 2.0f;  // in band 2
  run();
  EXPECT_EQ(at(10), P(1.0f, 2.0f));
  EXPECT_EQ(at(11), P(1.0f, 0.0f));
  EXPECT_EQ(at(12), P(0.5f, 0.5f));
  // Band 21 carries no scale factor and follows band 20.
  right.long_factors[20] = 0;
  run();
  EXPECT_EQ(at(575), P(0.0f, 1.0f));
  // When band 20 holds right-channel values, MPEG-1 leaves band 21 alone and LSF gives it position 0.
  d[1][400] = 1.0f;
  run();
  EXPECT_EQ(at(575), P(1.0f, 0.0f));
  mode.lsf = true;
  run();
  EXPECT_EQ(at(575), P(1.0f, 1.0f));
}

TEST_F(Stereo, LsfFactorsAndIllegalPositions) {
  float k[2][576];
  lsf_intensity_factors(1, 0, 0, k);
  EXPECT_FLOAT_EQ(k[0][0], 0.8408964f);
  EXPECT_EQ(k[1][0], 1.0f);
  lsf_intensity_factors(4, 1, 0, k);
  EXPECT_EQ(P(k[0][0], k[1][0]), P(1.0f, 0.5f));
  lsf_intensity_factors(0, 1, 0, k);
  EXPECT_EQ(P(k[0][0], k[1][0]), P(1.0f, 1.0f));

  // LSF 22.05 kHz long bands 0..5, 6..11, 12..17: the illegal position is the largest the width allows.
  mode.lsf = true, mode.intensity_scale = 1;
  right.long_factors[0] = 7, illegal.long_factors[0] = 7;
  right.long_factors[1] = 7, illegal.long_factors[1] = 15;
  right.long_factors[2] = 2, illegal.long_factors[2] = 3;
  run(0);
  EXPECT_EQ(at(0), P(1.0f, 0.0f));
  EXPECT_FLOAT_EQ(at(6).first, 0.25f);  // (1/sqrt(2))^4
  EXPECT_EQ(at(6).second, 1.0f);
  EXPECT_FLOAT_EQ(at(12).second, 0.70710677f);
}

TEST_F(Stereo, ShortBlocksPerWindowWithBand12FollowingBand11) {
  granule.window_switching_flag = 1, granule.block_type = 2;
  for (auto& w : right.short_factors)
    for (int32_t& p : w) p = 3;
  right.short_factors[0][11] = 0;
  // 44.1 kHz: short band 5 is 4..9 (width 6), in window 0 at lines 3 * 16 = 48..53.
  d[1][50] = 1.0f;
  run();
  EXPECT_EQ(at(50), P(1.0f, 1.0f));
  EXPECT_EQ(at(53), P(1.0f, 0.0f));                 // band 5 of window 0 is left/right
  EXPECT_EQ(at(3 * 22), P(0.5f, 0.5f));             // band 6, window 0
  EXPECT_EQ(at(3 * 16 + 6), P(0.5f, 0.5f));         // band 5, window 1
  EXPECT_EQ(at(3 * 136 + 10), P(0.0f, 1.0f));       // band 12, window 0, follows band 11
  EXPECT_EQ(at(3 * 136 + 56 + 10), P(0.5f, 0.5f));  // band 12, window 1
  // Band 11 of window 2 holds right-channel values: band 12 is not intensity-coded in MPEG-1, and has
  // position 0 at the lower sampling frequencies.
  d[1][3 * 106 + 2 * 30] = 1.0f;
  run();
  EXPECT_EQ(at(3 * 136 + 2 * 56), P(1.0f, 0.0f));
  mode.lsf = true;
  run();
  EXPECT_EQ(at(3 * 136 + 2 * 56), P(1.0f, 1.0f));
}

TEST_F(Stereo, MixedBlocksReachIntoTheLongBandsOnlyWithoutShortValues) {
  granule.window_switching_flag = 1, granule.block_type = 2, granule.mixed_block_flag = 1;
  for (int32_t& p : right.long_factors) p = 3;
  for (auto& w : right.short_factors)
    for (int32_t& p : w) p = 3;
  d[1][10] = 1.0f;  // long band 2
  run();
  EXPECT_EQ(at(11), P(1.0f, 0.0f));
  EXPECT_EQ(at(12), P(0.5f, 0.5f));
  EXPECT_EQ(at(35), P(0.5f, 0.5f));
  d[1][40] = 1.0f;  // short band 3, window 1: the long part stays left/right
  run();
  EXPECT_EQ(at(12), P(1.0f, 0.0f));
  EXPECT_EQ(at(36), P(0.5f, 0.5f));  // band 3, window 0
}

TEST(MonoMix, AveragesBothChannels) {
  float out[2][576] = {};
  out[0][0] = 1.0f, out[1][0] = 0.5f, out[1][575] = -2.0f;
  mix_to_mono(out);
  EXPECT_EQ(out[0][0], 0.75f);
  EXPECT_EQ(out[0][575], -1.0f);
}

// Both channels are 0 from the extent on; telling process_stereo so gives what all 576 lines give, in
// middle/side, MPEG-1 and LSF intensity stereo.
TEST_F(Stereo, StoppingAtTheExtentGivesTheSameValues) {
  for (int b = 0; b < 23; ++b) right.long_factors[b] = b % 8;
  for (int extent : {0, 3, 200, 575, 576}) {
    for (int line = 0; line < 576; ++line) {
      d[0][line] = line < extent ? 1.0f + line % 5 : 0.0f;
      d[1][line] = line < extent / 2 ? 0.5f * (line % 3) : 0.0f;
    }
    for (int variant = 0; variant < 4; ++variant) {
      mode.ms = variant & 1;
      mode.intensity = variant >= 1;
      mode.lsf = variant == 3;
      run();
      float full[2][576];
      std::copy(&out[0][0], &out[0][0] + 2 * 576, &full[0][0]);
      std::fill(&out[0][0], &out[0][0] + 2 * 576, -999.0f);
      process_stereo(d, right, granule, band_table[3], mode, scratch, out, extent);
      for (int ch = 0; ch < 2; ++ch)
        for (int line = 0; line < 576; ++line)
          ASSERT_EQ(out[ch][line], full[ch][line])
              << "variant " << variant << ", extent " << extent << ", " << line;
    }
  }
}

}  // namespace
}  // namespace vemla
