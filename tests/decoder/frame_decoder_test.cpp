// Streams whose frames change between one channel and two, cut together from files that lame and twolame make
// at test time: every frame decodes, the output keeps the first frame's channel count, and each part sounds
// as the file it was cut from, as the channel choice hears it.
#include "frame_decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support.h"
#include "test_files.h"
#include "test_signal.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

struct Part {
  fs::path file;
  unsigned channels;
  size_t frames;  // sample frames it decodes to alone
};

// Two seconds of the test signal in `channels`, encoded by lame (Layer III, no header frame) or twolame
// (Layer II).
Part encode(const TempDir& dir, bool layer3, unsigned channels, const std::string& name) {
  const fs::path wav = dir / (name + ".wav");
  write_test_signal_wav(wav.string(), 2.0, 44100, channels);
  const fs::path out = dir / (name + (layer3 ? ".mp3" : ".mp2"));
  const std::string mode = channels == 1 ? "-m m" : "-m j";
  const bool made = layer3 ? lame_encode(wav, out, "-t -b 128 " + mode)
                           : run("twolame --quiet -b 192 " + mode + " '" + wav.string() + "' '" + out.string() +
                                 "' >/dev/null 2>&1") == 0;
  if (!made) return {};
  const Decoded alone = decode_file(out);
  return {out, channels, alone.pcm.size() / channels};
}

// The part's samples as `choice` hears them from an output of `channels`: one channel's, or the mean of two.
std::vector<double> heard(const Part& part, ChannelChoice choice, unsigned channels) {
  const ChannelChoice alone = channels == 2 ? ChoiceStereo : choice == ChoiceStereo ? ChoiceMono : choice;
  const Decoded d = decode_file(part.file, alone);
  std::vector<double> samples;
  for (size_t i = 0; i < part.frames; ++i)
    for (unsigned ch = 0; ch < channels; ++ch)
      samples.push_back(d.pcm[i * d.channels + (d.channels == 2 ? ch : 0)]);
  return samples;
}

// Decodes the parts cut together in `choice` and compares each part with its file alone. The first frames
// of a part after a change start from the history of the one before, and after that the synthesis filter's
// ring stands elsewhere than in the file alone: its sums are formed in another order, a step off at most.
void expect_whole(const std::vector<Part>& parts, ChannelChoice choice, unsigned output_channels) {
  TempDir dir;
  std::vector<uint8_t> bytes;
  size_t total = 0;
  for (const Part& part : parts) {
    const std::vector<uint8_t> file = read_file(part.file);
    bytes.insert(bytes.end(), file.begin(), file.end());
    total += part.frames;
  }
  write_file(dir / "cut.mp3", bytes);
  const Decoded d = decode_file(dir / "cut.mp3", choice);
  ASSERT_TRUE(d.opened);
  ASSERT_EQ(d.channels, output_channels);
  ASSERT_EQ(d.pcm.size(), total * output_channels) << "every frame of every part";

  size_t at = 0;  // sample frame where the part begins
  for (size_t p = 0; p < parts.size(); ++p) {
    const std::vector<double> expected = heard(parts[p], choice, output_channels);
    const size_t settled = p == 0 ? 0 : 2 * 1152;
    int worst = 0;
    for (size_t i = settled * output_channels; i < expected.size(); ++i)
      worst = std::max(worst, static_cast<int>(std::abs(d.pcm[at * output_channels + i] - expected[i])));
    EXPECT_LE(worst, 1) << "part " << p << ", choice " << int{choice};
    at += parts[p].frames;
  }
}

class ChannelChange : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!have_program(GetParam() ? "lame" : "twolame")) GTEST_SKIP() << "the encoder is not installed";
    mono_ = encode(dir_, GetParam(), 1, "mono");
    stereo_ = encode(dir_, GetParam(), 2, "stereo");
    ASSERT_FALSE(mono_.file.empty() || stereo_.file.empty()) << "the encoder failed";
  }
  TempDir dir_;
  Part mono_, stereo_;
};

// A one-channel stream keeps one channel: two-channel frames give the channel chosen, or their mix.
TEST_P(ChannelChange, TwoChannelFramesInAOneChannelStream) {
  for (ChannelChoice choice : {ChoiceStereo, ChoiceLeft, ChoiceRight, ChoiceMono})
    expect_whole({mono_, stereo_, mono_}, choice, 1);
}

// A two-channel stream keeps two channels: a one-channel frame goes to both.
TEST_P(ChannelChange, OneChannelFramesInATwoChannelStream) {
  expect_whole({stereo_, mono_, stereo_}, ChoiceStereo, 2);
  for (ChannelChoice choice : {ChoiceLeft, ChoiceRight, ChoiceMono}) expect_whole({stereo_, mono_}, choice, 1);
}

INSTANTIATE_TEST_SUITE_P(Layers, ChannelChange, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "LayerIII" : "LayerII";
                         });

}  // namespace
}  // namespace vemla::test
