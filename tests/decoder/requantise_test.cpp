// Requantisation: the power law, global gain, scale factors with their scale, pre-emphasis and sub-block
// gains, in long, short and mixed blocks.
#include "requantise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "simd.h"

namespace vemla {
namespace {

class Dequantise : public testing::Test {
 protected:
  void SetUp() override { granule.global_gain = 210; }
  void run(int row = 3) {
    std::fill(std::begin(out), std::end(out), -999.0f);
    dequantise(q, granule, factors, band_table[row], out);
  }
  int32_t q[576] = {};
  GranuleInfo granule;
  ScaleFactorSet factors;
  float out[576];
};

TEST_F(Dequantise, PowerLawWithGlobalGain) {
  q[0] = 1, q[1] = 8, q[2] = -8, q[3] = 511, q[4] = -512, q[5] = 8206;
  run();
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[1], 16.0f);
  EXPECT_EQ(out[2], -16.0f);
  EXPECT_FLOAT_EQ(out[3], static_cast<float>(std::pow(511.0, 4.0 / 3.0)));   // from the table
  EXPECT_FLOAT_EQ(out[4], static_cast<float>(-std::pow(512.0, 4.0 / 3.0)));  // computed directly
  EXPECT_FLOAT_EQ(out[5], static_cast<float>(std::pow(8206.0, 4.0 / 3.0)));
  EXPECT_EQ(out[6], 0.0f);
  granule.global_gain = 206;  // a quarter of the exponent per step
  run();
  EXPECT_FLOAT_EQ(out[0], 0.5f);
}

TEST_F(Dequantise, LongBlockScaleFactorsScaleAndPreEmphasis) {
  for (int line = 0; line < 576; ++line) q[line] = 1;
  factors.long_factors[0] = 3;
  run();
  EXPECT_FLOAT_EQ(out[3], std::pow(2.0f, -1.5f));
  EXPECT_FLOAT_EQ(out[4], 1.0f);  // band 1 at 44.1 kHz starts at line 4
  granule.scalefac_scale = 1;
  run();
  EXPECT_FLOAT_EQ(out[3], 0.125f);
  granule.scalefac_scale = 0;
  granule.preflag = 1;
  run();
  EXPECT_FLOAT_EQ(out[196], std::pow(2.0f, -1.5f));  // band 17, pre-emphasis 3
  EXPECT_FLOAT_EQ(out[575], 1.0f);                   // band 21 has none
}

TEST_F(Dequantise, ShortBlocksTakeEachWindowsGainAndFactor) {
  granule.window_switching_flag = 1, granule.block_type = 2;
  granule.subblock_gain[1] = 1;
  factors.short_factors[2][0] = 2;
  for (int line = 0; line < 576; ++line) q[line] = 1;
  run();
  // Band 0 is 4 lines wide at 44.1 kHz: lines 0..3 window 0, 4..7 window 1, 8..11 window 2.
  EXPECT_EQ(out[3], 1.0f);
  EXPECT_EQ(out[4], 0.25f);
  EXPECT_EQ(out[8], 0.5f);
  EXPECT_EQ(out[12], 1.0f);
  // Every index the fields allow stays in the table: gain 7 and a 5-bit factor scaled by 2.
  granule.subblock_gain[0] = 7, granule.scalefac_scale = 1;
  factors.short_factors[0][0] = 31;
  run();
  EXPECT_EQ(out[0], std::ldexp(1.0f, -45));
}

TEST_F(Dequantise, MixedBlocksSwitchToShortBandsAtLine36) {
  granule.window_switching_flag = 1, granule.block_type = 2, granule.mixed_block_flag = 1;
  for (int line = 0; line < 576; ++line) q[line] = 1;
  factors.long_factors[5] = 2;      // LSF 24 kHz: long band 5 is lines 30..35
  factors.long_factors[6] = 4;      // not part of the block
  factors.short_factors[0][3] = 4;  // short band 3 (lines 12..17 of each window) starts at line 36
  factors.short_factors[1][3] = 6;
  run(1);
  EXPECT_EQ(out[35], 0.5f);
  EXPECT_EQ(out[36], 0.25f);
  EXPECT_EQ(out[41], 0.25f);
  EXPECT_EQ(out[42], 0.125f);
  factors.long_factors[7] = 2;  // MPEG-1 48 kHz: eight long bands, band 7 is lines 30..35
  run(4);
  EXPECT_EQ(out[35], 0.5f);
  EXPECT_EQ(out[36], 0.25f);
}

// The lines from the extent on are 0 in quantised; telling dequantise so gives the same values as
// working through all 576 lines, in every block kind and band table.
TEST_F(Dequantise, StoppingAtTheExtentGivesTheSameValues) {
  for (int line = 0; line < 576; ++line) factors.long_factors[line % 23] = line % 5;
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 13; ++b) factors.short_factors[w][b] = (w + b) % 4;
  granule.subblock_gain[2] = 1;
  for (int kind = 0; kind < 3; ++kind) {
    granule.window_switching_flag = kind > 0, granule.block_type = kind > 0 ? 2 : 0;
    granule.mixed_block_flag = kind == 2;
    for (int row = 0; row < 6; ++row) {
      for (int extent : {0, 1, 35, 36, 37, 100, 418, 575, 576}) {
        for (int line = 0; line < 576; ++line) q[line] = line < extent ? line % 7 - 3 : 0;
        float full[576], limited[576];
        dequantise(q, granule, factors, band_table[row], full);
        std::fill(std::begin(limited), std::end(limited), -999.0f);
        dequantise(q, granule, factors, band_table[row], limited, extent);
        for (int line = 0; line < 576; ++line)
          ASSERT_EQ(limited[line], full[line]) << "kind " << kind << ", row " << row << ", extent " << extent;
      }
    }
  }
}

// The AVX2 power law against the portable one: values small and beyond the table, signs, runs of every
// width, any number of lines.
TEST(RequantiseRuns, PathsGiveTheSameBits) {
  if (!processor_has_avx2()) GTEST_SKIP() << "no AVX2 here";
  std::mt19937 random(4);
  for (int trial = 0; trial < 500; ++trial) {
    int32_t q[576];
    for (int32_t& v : q) {
      const int kind = static_cast<int>(random() % 8);
      v = kind == 0  ? static_cast<int32_t>(random() % 8207)
          : kind < 4 ? 0
                     : static_cast<int32_t>(random() % 20);
      if (random() & 1) v = -v;
    }
    FactorRun runs[100];
    int count = 0, line = 0;
    const int lines = static_cast<int>(random() % 577);
    while (line < lines) {
      const int end = std::min(lines, line + 1 + static_cast<int>(random() % 30));
      runs[count++] = {line, end, std::ldexp(1.0f, -static_cast<int>(random() % 60)) * 1.19f};
      line = end;
    }
    const float gain = std::ldexp(1.0f, static_cast<int>(random() % 40) - 30) * 0.8409f;
    float portable[576] = {}, vector[576] = {};
    portable_requantise_runs(q, runs, count, gain, portable);
    avx2_requantise_runs(q, runs, count, gain, vector);
    ASSERT_EQ(std::memcmp(portable, vector, sizeof portable), 0) << "trial " << trial;
  }
}

}  // namespace
}  // namespace vemla
