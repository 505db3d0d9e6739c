// The polyphase synthesis filterbank against a direct evaluation of ISO/IEC 11172-3, Annex A (the 1024-value
// V shift register, matrixing and windowing in double precision), and the 16-bit conversion.
#include "synthesis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support.h"
#include "synthesis_window.h"

namespace vemla::test {
namespace {

class ReferenceSynthesis {
 public:
  // Returns 32 samples, full scale +-1.
  std::array<double, 32> block(const float* s) {
    for (int i = 1023; i >= 64; --i) v_[i] = v_[i - 64];
    for (int i = 0; i < 64; ++i) {
      double sum = 0;
      for (int k = 0; k < 32; ++k) sum += std::cos((16 + i) * (2 * k + 1) * M_PI / 64) * s[k];
      v_[i] = sum;
    }
    std::array<double, 32> out{};
    for (int j = 0; j < 32; ++j) {
      double sum = 0;
      for (int i = 0; i < 8; ++i) {
        sum += v_[i * 128 + j] * kSynthesisWindowScaled[i * 64 + j] / 65536.0;
        sum += v_[i * 128 + 96 + j] * kSynthesisWindowScaled[i * 64 + 32 + j] / 65536.0;
      }
      out[j] = sum;
    }
    return out;
  }

 private:
  double v_[1024] = {};
};

TEST(SynthesisTest, MatchesTheStandardsFilterbank) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  SynthesisFilter filter(0, 32768.0f);
  MemorySink sink(1, true);
  ReferenceSynthesis reference;
  std::vector<double> expected;
  // More blocks than the 16 columns of the circular buffers, with quiet stretches and single subbands.
  for (int block = 0; block < 70; ++block) {
    float inputs[32] = {};
    for (int sb = 0; sb < 32; ++sb) {
      if (block % 10 == 9) continue;
      if (block % 7 == 3 && sb != block % 32) continue;
      inputs[sb] = value(random) * (sb < 8 ? 0.5f : 0.05f);
      filter.put_subband_sample(inputs[sb], sb);
    }
    filter.synthesize_block(sink);
    sink.end_frame(1);
    for (double v : reference.block(inputs)) expected.push_back(v);
  }
  ASSERT_EQ(sink.floats.size(), expected.size());
  double worst = 0;
  for (size_t i = 0; i < expected.size(); ++i)
    worst = std::max(worst, std::abs(sink.floats[i] - expected[i]));
  EXPECT_LT(worst, 2e-6);  // single precision throughout, far below one 16-bit step (3e-5)
}

TEST(SynthesisTest, SilenceResetAndChannels) {
  SynthesisFilter left(0, 32768.0f), right(1, 32768.0f);
  MemorySink sink(2);
  left.synthesize_block(sink);
  right.synthesize_block(sink);
  sink.end_frame(1);
  EXPECT_EQ(sink.pcm, std::vector<int16_t>(64, 0));

  // After reset the filter behaves as new: the same inputs give the same samples.
  const auto run = [](SynthesisFilter& f) {
    MemorySink out(1);
    for (int block = 0; block < 20; ++block) {
      for (int sb = 0; sb < 32; ++sb) f.put_subband_sample(std::sin(block * 0.7f + sb) * 0.3f, sb);
      f.synthesize_block(out);
    }
    out.end_frame(1);
    return out.pcm;
  };
  SynthesisFilter filter(1, 32768.0f);
  const std::vector<int16_t> first = run(filter);
  filter.reset();
  EXPECT_EQ(run(filter), first);

  // Samples go to the filter's own channel, interleaved by the sink.
  MemorySink stereo(2);
  left.put_subband_sample(0.5f, 0);
  left.synthesize_block(stereo);
  right.synthesize_block(stereo);
  stereo.end_frame(1);
  for (size_t i = 1; i < stereo.pcm.size(); i += 2) EXPECT_EQ(stereo.pcm[i], 0);
}

TEST(SynthesisTest, ConvertsToSixteenBitsByClippingAndTruncating) {
  EXPECT_EQ(to_pcm16(32767.0f), 32767);
  EXPECT_EQ(to_pcm16(32767.9f), 32767);
  EXPECT_EQ(to_pcm16(1.0e9f), 32767);
  EXPECT_EQ(to_pcm16(-32768.0f), -32768);
  EXPECT_EQ(to_pcm16(-32768.9f), -32768);
  EXPECT_EQ(to_pcm16(-1.0e9f), -32768);
  EXPECT_EQ(to_pcm16(-0.9f), 0);
  EXPECT_EQ(to_pcm16(1.9f), 1);
  EXPECT_EQ(to_pcm16(-1.9f), -1);
  EXPECT_EQ(to_pcm16(std::nanf("")), 0);

  // A full-scale subband input clips instead of wrapping.
  SynthesisFilter filter(0, 32768.0f);
  MemorySink sink(1);
  for (int block = 0; block < 20; ++block) {
    for (int sb = 0; sb < 4; ++sb) filter.put_subband_sample(8.0f, sb);
    filter.synthesize_block(sink);
  }
  sink.end_frame(1);
  EXPECT_EQ(*std::max_element(sink.pcm.begin(), sink.pcm.end()), 32767);
  EXPECT_EQ(*std::min_element(sink.pcm.begin(), sink.pcm.end()), -32768);
}

// The 16-bit samples are the float ones converted by to_pcm16, however loud: within the 32-bit range,
// beyond it, infinite, and not a number (from damaged input).
TEST(SynthesisTest, PcmIsTheFloatsConvertedHoweverLoud) {
  std::mt19937 random(4);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (const float scale : {32768.0f, 3.0e6f * 32768.0f, 1.0e36f}) {
    SynthesisFilter as_pcm(0, scale), as_floats(0, scale);
    MemorySink pcm(1), floats(1, true);
    for (int block = 0; block < 60; ++block) {
      float samples[32];
      for (float& sample : samples) sample = value(random);
      if (block % 20 == 7) samples[block % 32] = std::nanf("");
      as_pcm.synthesize_block(samples, pcm);
      as_floats.synthesize_block(samples, floats);
    }
    ASSERT_EQ(pcm.pcm.size(), floats.floats.size());
    for (size_t i = 0; i < pcm.pcm.size(); ++i)
      ASSERT_EQ(pcm.pcm[i], to_pcm16(floats.floats[i] * 32768.0f)) << "scale " << scale << ", sample " << i;
  }
}

// A run's scale factor is its output gain: it scales the float samples and the 16-bit ones alike, and the
// 16-bit ones still clip.
TEST(SynthesisTest, TheScaleFactorIsTheGainOfBothOutputs) {
  const auto run = [](float scale, bool floats, float loudness) {
    SynthesisFilter filter(0, scale);
    MemorySink sink(1, floats);
    for (int block = 0; block < 40; ++block) {
      for (int sb = 0; sb < 32; ++sb) filter.put_subband_sample(std::sin(block * 0.9f + sb) * loudness, sb);
      filter.synthesize_block(sink);
    }
    sink.end_frame(1);
    return sink;
  };
  const MemorySink full = run(32768.0f, true, 0.03f), half = run(16384.0f, true, 0.03f);
  ASSERT_EQ(full.floats.size(), half.floats.size());
  for (size_t i = 0; i < full.floats.size(); ++i) EXPECT_FLOAT_EQ(half.floats[i], full.floats[i] * 0.5f);

  const MemorySink pcm_full = run(32768.0f, false, 0.03f), pcm_half = run(16384.0f, false, 0.03f);
  ASSERT_EQ(pcm_full.pcm.size(), pcm_half.pcm.size());
  for (size_t i = 0; i < pcm_full.pcm.size(); ++i) EXPECT_NEAR(pcm_half.pcm[i], pcm_full.pcm[i] * 0.5, 1.0);

  const MemorySink loud = run(4 * 32768.0f, false, 0.9f);
  EXPECT_GT(std::count(loud.pcm.begin(), loud.pcm.end(), int16_t{32767}), 0);
}

// Two filters synthesised together give what each gives alone, in step or not, with loud input that clips.
TEST(SynthesisTest, PairsGiveWhatSingleFiltersGive) {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> value(-1.5f, 1.5f);
  SynthesisFilter left(0, 32768.0f), right(1, 32768.0f), left_alone(0, 32768.0f), right_alone(1, 32768.0f);
  MemorySink together(2), alone(2);
  for (int block = 0; block < 60; ++block) {
    float a[32], b[32];
    for (int sb = 0; sb < 32; ++sb) a[sb] = value(random), b[sb] = sb < 20 ? value(random) * 0.1f : 0.0f;
    if (block == 30) {
      // The right filter runs one block ahead from here: the pair no longer shares its coefficients.
      right.synthesize_block(b, together);
      right_alone.synthesize_block(b, alone);
    }
    SynthesisFilter::synthesize_blocks(left, a, right, b, together);
    left_alone.synthesize_block(a, alone);
    right_alone.synthesize_block(b, alone);
    if (block == 45) {
      left.synthesize_block(a, together);  // back in step
      left_alone.synthesize_block(a, alone);
    }
  }
  together.end_frame(1);
  alone.end_frame(1);
  EXPECT_EQ(together.pcm, alone.pcm);
  EXPECT_GT(std::count(alone.pcm.begin(), alone.pcm.end(), int16_t{32767}), 0);
}

// Many time slots at once (one filter or a pair, in runs that are no multiple of the batch and longer than
// one) give, to the bit, what the blocks give one by one, in floats and in 16-bit samples.
TEST(SynthesisTest, SlotsAtOnceGiveWhatBlocksGiveOneByOne) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> value(-1.2f, 1.2f);
  std::vector<std::array<float, 32>> a(120), b(120);
  for (size_t k = 0; k < a.size(); ++k)
    for (int sb = 0; sb < 32; ++sb) {
      a[k][sb] = k % 9 == 4 ? 0.0f : value(random) / (1 + sb);
      b[k][sb] = sb < 12 ? value(random) * 0.2f : 0.0f;
    }
  const auto slots = [](const std::vector<std::array<float, 32>>& v, size_t first) {
    return reinterpret_cast<const float(*)[32]>(v[first].data());
  };
  for (bool floats : {false, true}) {
    SynthesisFilter one(0, 32768.0f), left(0, 32768.0f), right(1, 32768.0f);
    SynthesisFilter one_alone(0, 32768.0f), left_alone(0, 32768.0f), right_alone(1, 32768.0f);
    MemorySink single(1, floats), single_alone(1, floats), pair(2, floats), pair_alone(2, floats);
    size_t first = 0;
    for (int count : {1, 7, 18, 36, 50, 8}) {
      one.synthesize_slots(slots(a, first), count, single);
      SynthesisFilter::synthesize_slots(left, slots(a, first), right, slots(b, first), count, pair);
      for (int k = 0; k < count; ++k) {
        one_alone.synthesize_block(a[first + k].data(), single_alone);
        SynthesisFilter::synthesize_blocks(left_alone, a[first + k].data(), right_alone, b[first + k].data(),
                                           pair_alone);
      }
      first += count;
    }
    for (MemorySink* sink : {&single, &single_alone, &pair, &pair_alone}) sink->end_frame(1);
    EXPECT_EQ(single.pcm, single_alone.pcm);
    EXPECT_EQ(single.floats, single_alone.floats);
    EXPECT_EQ(pair.pcm, pair_alone.pcm);
    EXPECT_EQ(pair.floats, pair_alone.floats);
    EXPECT_EQ(single.pcm.size() + single.floats.size(), 120u * 32);
  }
}

// A new scale takes effect from the next block, on the samples before the 16-bit conversion and on the PCM.
TEST(SynthesisTest, ScaleChangesFromTheNextBlock) {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> value(-0.02f, 0.02f);
  SynthesisFilter steady(0, 32768.0f), changed(0, 32768.0f), steady16(0, 32768.0f), changed16(0, 32768.0f);
  MemorySink steady_out(1, true), changed_out(1, true), steady_pcm(1), changed_pcm(1);
  for (int block = 0; block < 40; ++block) {
    if (block == 20) {
      changed.set_scale_factor(16384.0f);
      changed16.set_scale_factor(65536.0f);
    }
    float s[32];
    for (float& v : s) v = value(random);
    steady.synthesize_block(s, steady_out);
    changed.synthesize_block(s, changed_out);
    steady16.synthesize_block(s, steady_pcm);
    changed16.synthesize_block(s, changed_pcm);
  }
  for (MemorySink* sink : {&steady_out, &changed_out, &steady_pcm, &changed_pcm}) sink->end_frame(1);
  for (size_t i = 0; i < steady_out.floats.size(); ++i) {
    const float expected = i < 20 * 32 ? steady_out.floats[i] : steady_out.floats[i] * 0.5f;
    ASSERT_EQ(changed_out.floats[i], expected) << i;
  }
  for (size_t i = 0; i < steady_pcm.pcm.size(); ++i) {
    if (i < 20 * 32) {
      ASSERT_EQ(changed_pcm.pcm[i], steady_pcm.pcm[i]) << i;
    } else {
      ASSERT_NEAR(changed_pcm.pcm[i], 2 * steady_pcm.pcm[i], 1) << i;
    }
  }
}

}  // namespace
}  // namespace vemla::test
