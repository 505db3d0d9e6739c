// The hybrid filterbank: the factorised inverse MDCT against its defining sum, windows, overlap-add,
// alias reduction, short-block reordering, frequency inversion, the portable and AVX2 paths against each
// other with and without the subbands that hold nothing, and the 18 synthesis passes.
#include "hybrid_filterbank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "imdct.h"
#include "simd.h"
#include "synthesis.h"

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

using Slots = float[18][32];

TEST(HybridSynthesis, OverlapAddsTheSecondHalfOnce) {
  GranuleInfo granule;
  float x[576] = {};
  Slots overlap = {}, slots;
  hybrid_synthesis(x, 32, granule, overlap, slots);
  EXPECT_EQ(std::count(&slots[0][0], &slots[0][0] + 576, 0.0f), 576);

  float loud[18];
  for (int k = 0; k < 18; ++k) loud[k] = x[18 * 4 + k] = 0.5f - k * 0.03f;
  float raw[36];
  imdct(loud, 0, raw);
  hybrid_synthesis(x, 32, granule, overlap, slots);
  for (int j = 0; j < 18; ++j) EXPECT_EQ(slots[j][4], raw[j]);
  // The next granule is silent: the second half comes once, whether subband 4 is transformed or not.
  for (int subbands : {32, 0}) {
    Slots overlap_copy, later;
    std::copy(&overlap[0][0], &overlap[0][0] + 576, &overlap_copy[0][0]);
    std::fill(std::begin(x), std::end(x), 0.0f);
    hybrid_synthesis(x, subbands, granule, overlap_copy, later);
    for (int j = 0; j < 18; ++j) EXPECT_EQ(later[j][4], raw[18 + j]) << subbands;
    hybrid_synthesis(x, subbands, granule, overlap_copy, later);
    EXPECT_EQ(std::count(&later[0][0], &later[0][0] + 576, 0.0f), 576) << subbands;
  }
}

TEST(HybridSynthesis, MixedBlocksUseTheLongWindowInSubbands0And1) {
  for (uint32_t block_type : {2u, 1u, 3u}) {
    GranuleInfo granule;
    granule.window_switching_flag = 1, granule.block_type = block_type, granule.mixed_block_flag = 1;
    float x[576];
    Slots overlap = {}, slots;
    for (int i = 0; i < 576; ++i) x[i] = std::sin(i * 0.37f);
    float long_in[18], other_in[18], long_out[36], other_out[36];
    std::copy(x + 18, x + 36, long_in);
    std::copy(x + 36, x + 54, other_in);
    imdct(long_in, 0, long_out);
    imdct(other_in, block_type, other_out);
    hybrid_synthesis(x, 32, granule, overlap, slots);
    for (int j = 0; j < 18; ++j) {
      EXPECT_EQ(slots[j][1], j % 2 ? -long_out[j] : long_out[j]) << block_type;
      EXPECT_EQ(slots[j][2], other_out[j]) << block_type;
      EXPECT_EQ(overlap[j][1], long_out[18 + j]) << block_type;
    }
  }
}

TEST(HybridSynthesis, NegatesOddSlotsOfOddSubbands) {
  float x[576], raw[36];
  Slots overlap = {}, slots;
  for (int i = 0; i < 576; ++i) x[i] = (i % 18 == 0) ? 1.0f : 0.0f;
  float in[18] = {1.0f};
  imdct(in, 0, raw);
  hybrid_synthesis(x, 32, GranuleInfo(), overlap, slots);
  for (int sb = 0; sb < 32; ++sb)
    for (int j = 0; j < 18; ++j)
      EXPECT_EQ(slots[j][sb], (sb % 2 && j % 2) ? -raw[j] : raw[j]) << "subband " << sb << ", slot " << j;
}

// Both implementations of the stage, granule after granule with the overlap carried, against each other
// and against the same granules transformed in full: skipping the subbands without values changes nothing.
TEST(HybridFilterbank, PathsAgreeAndSkippedSubbandsChangeNothing) {
  std::mt19937 random(17);
  std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
  const bool avx2 = processor_has_avx2();
  struct Kind {
    uint32_t switching, type, mixed;
  };
  for (const Kind kind : {Kind{0, 0, 0}, Kind{1, 1, 0}, Kind{1, 2, 0}, Kind{1, 3, 0}, Kind{1, 2, 1},
                          Kind{1, 1, 1}, Kind{1, 3, 1}}) {
    GranuleInfo granule;
    granule.window_switching_flag = kind.switching, granule.block_type = kind.type;
    granule.mixed_block_flag = kind.mixed;
    Slots full_overlap = {}, portable_overlap = {}, avx2_overlap = {};
    for (int trial = 0; trial < 40; ++trial) {
      const int subbands = trial % 5 == 0 ? 32 : static_cast<int>(random() % 33);
      float x[576] = {};
      for (int i = 0; i < 18 * subbands; ++i) x[i] = value(random);
      float copy[576];
      Slots full, portable, vector;
      std::copy(x, x + 576, copy);
      portable_hybrid_filterbank(copy, 32, granule, full_overlap, full);
      std::copy(x, x + 576, copy);
      portable_hybrid_filterbank(copy, subbands, granule, portable_overlap, portable);
      if (avx2) {
        std::copy(x, x + 576, copy);
        avx2_hybrid_filterbank(copy, subbands, granule, avx2_overlap, vector);
      }
      for (int j = 0; j < 18; ++j) {
        for (int sb = 0; sb < 32; ++sb) {
          // == also takes -0 for 0: a transform of zeros may give either, and nothing after tells them apart.
          ASSERT_EQ(portable[j][sb], full[j][sb])
              << "type " << kind.type << ", trial " << trial << ", " << sb;
          ASSERT_EQ(portable_overlap[j][sb], full_overlap[j][sb])
              << "type " << kind.type << ", trial " << trial;
          if (!avx2) continue;
          ASSERT_EQ(vector[j][sb], full[j][sb]) << "type " << kind.type << ", trial " << trial << ", " << sb;
          ASSERT_EQ(avx2_overlap[j][sb], full_overlap[j][sb]) << "type " << kind.type << ", trial " << trial;
        }
      }
    }
  }
  if (!avx2) GTEST_SKIP() << "no AVX2 here: only the portable path was checked";
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
  const Slots slots = {};
  filter.synthesize_slots(slots, 18, sink);
  EXPECT_EQ(sink.samples[1], 18 * 32);
  EXPECT_EQ(sink.samples[0], 0);
}

}  // namespace
}  // namespace vemla
