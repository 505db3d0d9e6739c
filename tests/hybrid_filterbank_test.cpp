// The hybrid filterbank: the factorised inverse MDCT against its defining sum, windows, overlap-add,
// alias reduction, short-block reordering, frequency inversion and the 18 synthesis passes.
#include "hybrid_filterbank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "imdct.h"

namespace vemla {
namespace {

// The inverse MDCT as ISO/IEC 11172-3 defines it (2.4.3.4.10.2), with the windows of 2.4.3.4.10.3.
std::vector<double> reference_imdct(const float* in, int block_type) {
  std::vector<double> out(36, 0.0);
  const auto window = [&](int n) {
    const double normal = std::sin(M_PI / 36 * (n + 0.5));
    if (block_type == 1)
      return n < 18 ? normal : n < 24 ? 1.0 : n < 30 ? std::sin(M_PI / 12 * (n - 18 + 0.5)) : 0.0;
    if (block_type == 3)
      return n < 6 ? 0.0 : n < 12 ? std::sin(M_PI / 12 * (n - 6 + 0.5)) : n < 18 ? 1.0 : normal;
    return normal;
  };
  if (block_type != 2) {
    for (int n = 0; n < 36; ++n) {
      double sum = 0;
      for (int k = 0; k < 18; ++k) sum += in[k] * std::cos(M_PI / 72 * (2 * n + 19) * (2 * k + 1));
      out[n] = window(n) * sum;
    }
    return out;
  }
  for (int w = 0; w < 3; ++w)
    for (int n = 0; n < 12; ++n) {
      double sum = 0;
      for (int k = 0; k < 6; ++k) sum += in[w + 3 * k] * std::cos(M_PI / 24 * (2 * n + 7) * (2 * k + 1));
      out[6 + 6 * w + n] += std::sin(M_PI / 12 * (n + 0.5)) * sum;
    }
  return out;
}

TEST(Imdct, MatchesTheDefinitionForEveryBlockType) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (int type = 0; type < 4; ++type) {
    for (int trial = 0; trial < 20; ++trial) {
      float in[18], out[36];
      for (float& v : in) v = value(random);
      const std::vector<double> want = reference_imdct(in, type);
      imdct(in, type, out);
      for (int n = 0; n < 36; ++n) EXPECT_NEAR(out[n], want[n], 1e-5) << "type " << type << " n " << n;
    }
  }
  // The zero ends of the start, stop and short windows.
  float ones[18], out[36];
  for (int type : {1, 2, 3}) {
    std::fill(std::begin(ones), std::end(ones), 1.0f);
    imdct(ones, type, out);
    for (int n = 0; n < 6; ++n) {
      if (type != 3) {
        EXPECT_EQ(out[30 + n], 0.0f) << type;
      }
      if (type != 1) {
        EXPECT_EQ(out[n], 0.0f) << type;
      }
    }
  }
}

TEST(HybridSynthesis, OverlapAddsTheSecondHalfOnce) {
  GranuleInfo granule;
  float x[576] = {}, overlap[576] = {};
  hybrid_synthesis(x, overlap, granule);
  EXPECT_EQ(std::count(x, x + 576, 0.0f), 576);

  float loud[18];
  for (int k = 0; k < 18; ++k) loud[k] = x[18 * 5 + k] = 0.5f - k * 0.03f;
  float raw[36];
  imdct(loud, 0, raw);
  hybrid_synthesis(x, overlap, granule);
  for (int j = 0; j < 18; ++j) EXPECT_EQ(x[18 * 5 + j], raw[j]);
  std::fill(std::begin(x), std::end(x), 0.0f);
  hybrid_synthesis(x, overlap, granule);
  for (int j = 0; j < 18; ++j) EXPECT_EQ(x[18 * 5 + j], raw[18 + j]);
  std::fill(std::begin(x), std::end(x), 0.0f);
  hybrid_synthesis(x, overlap, granule);
  EXPECT_EQ(std::count(x, x + 576, 0.0f), 576);
}

TEST(HybridSynthesis, MixedBlocksUseTheLongWindowInSubbands0And1) {
  GranuleInfo granule;
  granule.window_switching_flag = 1, granule.block_type = 2, granule.mixed_block_flag = 1;
  float x[576], overlap[576] = {};
  for (int i = 0; i < 576; ++i) x[i] = std::sin(i * 0.37f);
  float long_in[18], short_in[18], long_out[36], short_out[36];
  std::copy(x + 18, x + 36, long_in);
  std::copy(x + 36, x + 54, short_in);
  imdct(long_in, 0, long_out);
  imdct(short_in, 2, short_out);
  hybrid_synthesis(x, overlap, granule);
  for (int j = 0; j < 18; ++j) {
    EXPECT_EQ(x[18 + j], long_out[j]);
    EXPECT_EQ(x[36 + j], short_out[j]);
  }
}

TEST(AliasReduction, LongBlocksAllBoundariesMixedOneShortNone) {
  float base[576];
  for (int i = 0; i < 576; ++i) base[i] = 1.0f + i * 0.001f;
  const auto changed = [&](const GranuleInfo& g, int line) {
    float x[576];
    std::copy(std::begin(base), std::end(base), x);
    reduce_aliasing(x, g);
    return x[line] != base[line];
  };
  GranuleInfo g;
  EXPECT_TRUE(changed(g, 17));
  EXPECT_TRUE(changed(g, 18));
  EXPECT_TRUE(changed(g, 18 * 31 + 7));
  EXPECT_FALSE(changed(g, 18 * 31 + 8));  // eight butterflies per boundary
  g.window_switching_flag = 1, g.block_type = 2, g.mixed_block_flag = 1;
  EXPECT_TRUE(changed(g, 18));
  EXPECT_FALSE(changed(g, 35));
  EXPECT_FALSE(changed(g, 36));
  g.mixed_block_flag = 0;
  for (int line : {17, 18, 35, 36}) EXPECT_FALSE(changed(g, line));
  // One butterfly: u' = u cs - d ca, d' = d cs + u ca with c = -0.6.
  float x[576] = {};
  x[17] = 1.0f;
  reduce_aliasing(x, GranuleInfo());
  const double cs = 1.0 / std::sqrt(1.36);
  EXPECT_FLOAT_EQ(x[17], static_cast<float>(cs));
  EXPECT_FLOAT_EQ(x[18], static_cast<float>(-0.6 * cs));
}

TEST(ReorderShort, InterleavesTheWindowsLineByLine) {
  GranuleInfo g;
  g.window_switching_flag = 1, g.block_type = 2;
  float in[576], out[576];
  for (int i = 0; i < 576; ++i) in[i] = static_cast<float>(i);
  const BandTable& b = band_table[3];
  reorder_short(in, g, b, out);
  // Band 5 (lines 16..21 of each window, width 6) starts at line 48: window w, line f goes to 48 + 3f + w.
  for (int f = 0; f < 6; ++f)
    for (int w = 0; w < 3; ++w) EXPECT_EQ(out[48 + 3 * f + w], in[48 + 6 * w + f]);
  g.mixed_block_flag = 1;
  reorder_short(in, g, b, out);
  for (int i = 0; i < 36; ++i) EXPECT_EQ(out[i], in[i]);
  EXPECT_EQ(out[37], in[40]);  // band 3 (width 4): line 0 of window 1
  g.block_type = 1;
  reorder_short(in, g, b, out);
  EXPECT_EQ(std::equal(in, in + 576, out), true);
}

TEST(FrequencyInversion, NegatesOddSlotsOfOddSubbands) {
  float x[576];
  std::fill(std::begin(x), std::end(x), 1.0f);
  frequency_inversion(x);
  EXPECT_EQ(x[18 * 1 + 1], -1.0f);
  EXPECT_EQ(x[18 * 31 + 17], -1.0f);
  EXPECT_EQ(x[18 * 1 + 2], 1.0f);
  EXPECT_EQ(x[18 * 2 + 1], 1.0f);
  EXPECT_EQ(std::count(x, x + 576, -1.0f), 16 * 9);
}

class CountingSink : public Obuffer {
 public:
  void put_sample(int channel, int16_t) override { ++samples[channel]; }
  void end_frame(int) override {}
  void clear() override {}
  void request_stop() override {}
  int samples[2] = {};
};

TEST(SynthesizeGranule, Makes18BlocksOf32Samples) {
  SynthesisFilter filter(1, 32768.0f);
  CountingSink sink;
  float x[576] = {};
  synthesize_granule(x, filter, sink);
  EXPECT_EQ(sink.samples[1], 18 * 32);
  EXPECT_EQ(sink.samples[0], 0);
}

}  // namespace
}  // namespace vemla
