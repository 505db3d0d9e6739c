// vemla-decode --play as a user runs it without a terminal: it plays to the end and exits, writes through
// the wav: device exactly what -o writes (plus the silence that completes the last block), and reports a
// sound device that cannot be opened without ending abnormally.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "support.h"
#include "test_streams.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

const std::string kTool = VEMLA_DECODE_TOOL;

std::vector<uint8_t> wav_data(const fs::path& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  return bytes.size() < 44 ? std::vector<uint8_t>() : std::vector<uint8_t>(bytes.begin() + 44, bytes.end());
}

std::string text_of(const fs::path& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  return std::string(bytes.begin(), bytes.end());
}

class PlayCommand : public testing::Test {
 protected:
  void SetUp() override {
    if (!make_layer2(dir / "in.mp2", 2, 44100, 3.0))
      GTEST_SKIP() << "twolame is needed to make the test stream";
  }
  int play(const std::string& arguments, const fs::path& log) {
    return run("'" + kTool + "' --play '" + (dir / "in.mp2").string() + "' " + arguments + " </dev/null >'" +
               log.string() + "' 2>&1");
  }
  TempDir dir;
};

TEST_F(PlayCommand, TheWavDeviceWritesWhatTheDecoderWritesThenSilenceToTheEndOfTheBlock) {
  ASSERT_EQ(play("--device 'wav:" + (dir / "played.wav").string() + "'", dir / "log"), 0)
      << text_of(dir / "log");
  ASSERT_EQ(
      run("'" + kTool + "' '" + (dir / "in.mp2").string() + "' -o '" + (dir / "decoded.wav").string() + "'"),
      0);
  const std::vector<uint8_t> played = wav_data(dir / "played.wav");
  const std::vector<uint8_t> decoded = wav_data(dir / "decoded.wav");
  ASSERT_FALSE(decoded.empty());
  constexpr size_t kBlock = 147456;
  EXPECT_EQ(played.size(), (decoded.size() + kBlock - 1) / kBlock * kBlock);
  ASSERT_GE(played.size(), decoded.size());
  EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), played.begin()));
  EXPECT_TRUE(std::all_of(played.begin() + static_cast<long>(decoded.size()), played.end(),
                          [](uint8_t b) { return b == 0; }));
}

TEST_F(PlayCommand, TheEnvironmentChoosesTheDeviceAndTheMixTheChannels) {
  const fs::path out = dir / "left.wav";
  ASSERT_EQ(run("VEMLA_AUDIO='wav:" + out.string() + "' '" + kTool + "' --play --mix left '" +
                (dir / "in.mp2").string() + "' </dev/null >/dev/null 2>&1"),
            0);
  const std::vector<uint8_t> bytes = read_file(out);
  ASSERT_GT(bytes.size(), 44u);
  EXPECT_EQ(bytes[22], 1) << "one channel for Left";
}

TEST_F(PlayCommand, ADeviceThatCannotBeOpenedIsReportedAndTheProgramEndsNormally) {
  const fs::path log = dir / "log";
  EXPECT_EQ(play("--device alsa:vemla-no-such-pcm", log), 1);
  const std::string said = text_of(log);
  EXPECT_EQ(said.rfind("Audio playback error: Could not open the sound device.\n", 0), 0u)
      << "the message opens the output, with no blank line before it: " << said;
  EXPECT_NE(said.find("vemla-no-such-pcm"), std::string::npos) << "the reason is given: " << said;
  EXPECT_EQ(said.find("vemla-no-such-pcm"), said.rfind("vemla-no-such-pcm")) << "and given once: " << said;
}

// /dev/full fails every write as a full disk does: the user learns why, once.
TEST_F(PlayCommand, AWavDeviceOnAFullDiskSaysWhyOnce) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const fs::path log = dir / "log";
  EXPECT_EQ(play("--device wav:/dev/full", log), 1);
  const std::string said = text_of(log);
  const std::string reason = "cannot write /dev/full: " + std::string(std::strerror(ENOSPC));
  const size_t first = said.find(reason);
  ASSERT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find(reason, first + 1), std::string::npos) << "said twice: " << said;
}

TEST_F(PlayCommand, BadInputsGiveClearErrors) {
  EXPECT_EQ(play("--device pulse", dir / "log"), 2);
  write_file(dir / "noise.mp2", std::vector<uint8_t>(2000, 0));
  EXPECT_EQ(run("'" + kTool + "' --play '" + (dir / "noise.mp2").string() + "' --device null </dev/null >'" +
                (dir / "log").string() + "' 2>&1"),
            1);
  EXPECT_NE(text_of(dir / "log").find("Error: No header found"), std::string::npos) << text_of(dir / "log");
}

}  // namespace
}  // namespace vemla::test
