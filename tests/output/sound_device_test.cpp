// The sound devices: the null device's real-time consumption, the WAV device's file, and the ALSA device
// against ALSA's own "null" and "file" PCMs, which need no sound card.
#include "sound_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <numeric>

#include "alsa_device.h"
#include "device_factory.h"
#include "notifier.h"
#include "null_device.h"
#include "support.h"
#include "wav_device.h"

namespace vemla::test {
namespace {

using namespace std::chrono_literals;

struct Block {
  explicit Block(size_t bytes, uint8_t seed = 1) : bytes(bytes) {
    for (size_t i = 0; i < bytes; ++i) this->bytes[i] = static_cast<uint8_t>(seed + i * 13);
    block.data = this->bytes.data();
    block.length = bytes;
  }
  std::vector<uint8_t> bytes;
  WaveBlock block;
};

// Waits (up to a generous limit, never measured) until the device has finished the block.
bool finishes(SoundDevice& device, const WaveBlock* block) {
  for (int i = 0; i < 3000; ++i)
    if (!device.wait(block, 10ms)) return true;
  return false;
}

const PcmFormat kStereo44k{2, 44100};

class CapturingNotifier final : public Notifier {
 public:
  CapturingNotifier() { set_thread_notifier(this); }
  ~CapturingNotifier() override { set_thread_notifier(nullptr); }
  void notify(std::string_view caption, std::string_view text, MessageIcon) override {
    messages.push_back(std::string(caption) + " | " + std::string(text));
  }
  std::vector<std::string> messages;
};

TEST(NullDevice, ConsumesBlocksInOrderAtItsFormatsRate) {
  NullDevice device(1000);
  std::string reason;
  ASSERT_TRUE(device.open(kStereo44k, reason)) << reason;
  Block a(44100 * 4), b(44100 * 4);  // one second each
  device.write(a.block);
  device.write(b.block);
  EXPECT_TRUE(device.still_playing(b.block));
  EXPECT_FALSE(device.close()) << "closing while blocks play";
  ASSERT_TRUE(finishes(device, &a.block));
  ASSERT_TRUE(finishes(device, &b.block));
  EXPECT_FALSE(device.still_playing(a.block));
  EXPECT_EQ(device.bytes_played(), a.bytes.size() + b.bytes.size());
  EXPECT_EQ(device.played_frames(), (a.bytes.size() + b.bytes.size()) / 4);
  EXPECT_TRUE(device.close());
  EXPECT_FALSE(device.is_open());
}

TEST(NullDevice, PauseHoldsRestartGoesOnResetReturnsEverything) {
  NullDevice device(1000);
  std::string reason;
  ASSERT_TRUE(device.open(kStereo44k, reason));
  Block a(44100 * 4), b(44100 * 4);
  device.pause();
  device.write(a.block);
  device.write(b.block);
  for (int i = 0; i < 5; ++i) device.wait(&a.block, 10ms);
  EXPECT_TRUE(device.still_playing(a.block)) << "a paused device plays nothing";
  EXPECT_EQ(device.bytes_played(), 0u);
  device.restart();
  ASSERT_TRUE(finishes(device, &a.block));
  EXPECT_GE(device.played_frames(), a.bytes.size() / 4);

  device.pause();
  device.reset();
  EXPECT_EQ(device.played_frames(), 0u) << "the count starts again at a reset";
  EXPECT_FALSE(device.still_playing(b.block)) << "reset returns every block at once";
  EXPECT_EQ(device.queued_blocks(), 0u);
  EXPECT_TRUE(device.paused()) << "a reset leaves the pause to restart";
  device.write(a.block);
  for (int i = 0; i < 5; ++i) device.wait(&a.block, 10ms);
  EXPECT_TRUE(device.still_playing(a.block));
  device.reset();
  EXPECT_TRUE(device.close());
}

TEST(NullDevice, AtSpeedZeroItStopsConsuming) {
  NullDevice device(0);
  std::string reason;
  ASSERT_TRUE(device.open(kStereo44k, reason));
  Block a(4096);
  device.write(a.block);
  EXPECT_TRUE(device.wait(&a.block, 30ms));
  EXPECT_FALSE(device.close());
  device.set_speed(1000);
  EXPECT_TRUE(finishes(device, &a.block));
  EXPECT_TRUE(device.close());
}

TEST(WavDevice, WritesTheBlocksItIsGivenAndHoldsThemWhilePaused) {
  TempDir dir;
  WavDevice device((dir / "out.wav").string());
  std::string reason;
  ASSERT_TRUE(device.open(PcmFormat{1, 22050}, reason)) << reason;
  Block a(1000, 1), b(2000, 2), dropped(500, 3);
  device.write(a.block);
  EXPECT_FALSE(device.still_playing(a.block));
  EXPECT_EQ(device.played_frames(), 500u) << "what it wrote, in one-channel sample frames";
  device.pause();
  device.write(b.block);
  EXPECT_TRUE(device.still_playing(b.block));
  EXPECT_FALSE(device.close()) << "closing with a held block";
  device.restart();
  EXPECT_FALSE(device.still_playing(b.block));
  device.pause();
  device.write(dropped.block);
  device.reset();
  EXPECT_FALSE(device.still_playing(dropped.block));
  EXPECT_EQ(device.played_frames(), 0u);
  ASSERT_TRUE(device.close());

  const std::vector<uint8_t> file = read_file(dir / "out.wav");
  ASSERT_EQ(file.size(), 44u + 3000u);
  EXPECT_EQ(file[22], 1);                      // channels
  EXPECT_EQ(file[24] | file[25] << 8, 22050);  // sampling frequency
  EXPECT_TRUE(std::equal(a.bytes.begin(), a.bytes.end(), file.begin() + 44));
  EXPECT_TRUE(std::equal(b.bytes.begin(), b.bytes.end(), file.begin() + 1044));
}

TEST(WavDevice, AFileThatCannotBeCreatedFailsToOpenWithTheReason) {
  WavDevice device("/nonexistent-folder/out.wav");
  std::string reason;
  EXPECT_FALSE(device.open(kStereo44k, reason));
  EXPECT_NE(reason.find("/nonexistent-folder/out.wav"), std::string::npos) << reason;
}

// /dev/full stands for a full disk: every write fails with "No space left on device".
TEST(WavDevice, AFailedWriteIsReportedWithTheReason) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  WavDevice device("/dev/full");
  std::string reason;
  ASSERT_TRUE(device.open(kStereo44k, reason)) << reason;
  Block a(64 * 1024);
  device.write(a.block);
  device.close();
  EXPECT_EQ(device.last_error(), "cannot write /dev/full: " + std::string(std::strerror(ENOSPC)));
}

class AlsaPcm : public testing::TestWithParam<bool> {};

// ALSA's "null" PCM takes everything and plays nothing; the same code path as the "default" PCM.
TEST_P(AlsaPcm, PlaysPausesResetsAndClosesOnTheNullPcm) {
  AlsaDevice::Options options;
  options.software_pause = GetParam();
  AlsaDevice device("null", options);
  std::string reason;
  ASSERT_TRUE(device.open(kStereo44k, reason)) << reason;
  EXPECT_FALSE(device.open(kStereo44k, reason)) << "opened twice";
  Block a(44100), b(44100), c(44100);
  device.write(a.block);
  device.write(b.block);
  ASSERT_TRUE(finishes(device, &b.block));
  device.pause();
  device.write(c.block);
  device.restart();
  ASSERT_TRUE(finishes(device, &c.block));
  ASSERT_TRUE(finishes(device, nullptr));
  EXPECT_EQ(device.played_frames(), 3u * 44100 / 4) << "every frame given, none held";
  device.pause();
  device.write(a.block);
  device.reset();
  EXPECT_FALSE(device.still_playing(a.block));
  EXPECT_EQ(device.played_frames(), 0u);
  EXPECT_TRUE(device.close());
  EXPECT_FALSE(device.is_open());
  ASSERT_TRUE(device.open(PcmFormat{1, 22050}, reason)) << "opened again after closing: " << reason;
  EXPECT_TRUE(device.close());
}

INSTANTIATE_TEST_SUITE_P(Pause, AlsaPcm, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "ByDropping" : "ByThePcm";
                         });

// ALSA's "file" PCM writes what it is given to a file: the device hands over every byte in order.
TEST(AlsaDevice, HandsEveryBlockToThePcmInOrder) {
  TempDir dir;
  const std::string raw = (dir / "out.raw").string();
  AlsaDevice device("file:'" + raw + "',raw");
  std::string reason;
  ASSERT_TRUE(device.open(kStereo44k, reason)) << reason;
  std::vector<Block> blocks;
  for (uint8_t i = 0; i < 4; ++i) blocks.emplace_back(30000 + 4000 * i, static_cast<uint8_t>(i * 50));
  for (Block& block : blocks) {
    block.block.data = block.bytes.data();
    device.write(block.block);
  }
  ASSERT_TRUE(finishes(device, nullptr));
  ASSERT_TRUE(device.close());
  std::vector<uint8_t> expected;
  for (const Block& block : blocks) expected.insert(expected.end(), block.bytes.begin(), block.bytes.end());
  EXPECT_EQ(read_file(raw), expected);
}

// Pause, seek and stop drop or pause what the PCM holds, but a PCM that plays out instead would still play its
// buffer: what ALSA grants must stay well under 150 ms, in several periods so that the worker refills it in time.
TEST(AlsaDevice, TheBufferAlsaGrantsIsATenthOfASecondOrLess) {
  for (const PcmFormat format : {kStereo44k, PcmFormat{1, 48000}, PcmFormat{2, 22050}}) {
    AlsaDevice device("null");
    std::string reason;
    ASSERT_TRUE(device.open(format, reason)) << reason;
    const double buffer_ms = 1000.0 * static_cast<double>(device.buffer_frames()) / format.frequency;
    EXPECT_GT(buffer_ms, 50.0) << format.frequency;
    EXPECT_LE(buffer_ms, 100.5) << format.frequency;
    EXPECT_GE(device.buffer_frames(), 2 * device.period_frames()) << format.frequency;
    EXPECT_GT(device.period_frames(), 0u);
    EXPECT_TRUE(device.close());
  }
}

TEST(AlsaDevice, APcmThatCannotBeOpenedGivesTheReason) {
  AlsaDevice device("vemla-no-such-pcm");
  std::string reason;
  EXPECT_FALSE(device.open(kStereo44k, reason));
  EXPECT_NE(reason.find("vemla-no-such-pcm"), std::string::npos) << reason;
  EXPECT_EQ(device.last_error(), reason);
  EXPECT_TRUE(device.close()) << "closing a device that is not open";
}

TEST(SoundDeviceChoice, NamesEveryDeviceAndRejectsTheRest) {
  std::string error;
  auto alsa = make_sound_device("alsa", error);
  ASSERT_TRUE(alsa);
  EXPECT_EQ(dynamic_cast<AlsaDevice&>(*alsa).pcm_name(), "default");
  auto alsa_null = make_sound_device("alsa:null", error);
  ASSERT_TRUE(alsa_null);
  EXPECT_EQ(dynamic_cast<AlsaDevice&>(*alsa_null).pcm_name(), "null");
  EXPECT_TRUE(dynamic_cast<NullDevice*>(make_sound_device("null", error).get()));
  EXPECT_TRUE(dynamic_cast<NullDevice*>(make_sound_device("null:8.5", error).get()));
  auto wav = make_sound_device("wav:/tmp/x.wav", error);
  ASSERT_TRUE(wav);
  EXPECT_EQ(dynamic_cast<WavDevice&>(*wav).path(), "/tmp/x.wav");
  for (const char* bad : {"", "pulse", "wav:", "alsa:", "null:fast", "null:-1", "null:0", "null:inf", "null:nan"}) {
    error.clear();
    EXPECT_FALSE(make_sound_device(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  // A device that never plays would hang the player: the error says what is wanted.
  make_sound_device("null:0", error);
  EXPECT_NE(error.find("positive"), std::string::npos) << error;
}

TEST(SoundDeviceChoice, TheEnvironmentChoosesAndABadChoiceFallsBackToAlsa) {
  CapturingNotifier notes;
  setenv("VEMLA_AUDIO", "null:7", 1);
  EXPECT_TRUE(dynamic_cast<NullDevice*>(sound_device_from_environment().get()));
  setenv("VEMLA_AUDIO", "speakers", 1);
  const auto fallback = sound_device_from_environment();
  unsetenv("VEMLA_AUDIO");
  auto* alsa = dynamic_cast<AlsaDevice*>(fallback.get());
  ASSERT_NE(alsa, nullptr);
  EXPECT_EQ(alsa->pcm_name(), "default");
  ASSERT_EQ(notes.messages.size(), 1u);
  EXPECT_NE(notes.messages[0].find("speakers"), std::string::npos) << notes.messages[0];
  EXPECT_NE(notes.messages[0].find("VEMLA_AUDIO"), std::string::npos) << notes.messages[0];
}

// The window shows the problem itself (its notifier is not there yet when the device is made): the text names
// the variable, where ALSA's error alone would leave the user guessing.
TEST(SoundDeviceChoice, ABadChoiceIsToldToTheCallerNamingTheVariable) {
  CapturingNotifier notes;
  setenv("VEMLA_AUDIO", "speakers", 1);
  std::string problem;
  const auto fallback = sound_device_from_environment(problem);
  unsetenv("VEMLA_AUDIO");
  EXPECT_TRUE(dynamic_cast<AlsaDevice*>(fallback.get()));
  EXPECT_NE(problem.find("VEMLA_AUDIO"), std::string::npos) << problem;
  EXPECT_NE(problem.find("\"speakers\""), std::string::npos) << problem;
  EXPECT_TRUE(notes.messages.empty());
  problem.clear();
  setenv("VEMLA_AUDIO", "null", 1);
  EXPECT_TRUE(dynamic_cast<NullDevice*>(sound_device_from_environment(problem).get()));
  unsetenv("VEMLA_AUDIO");
  EXPECT_TRUE(problem.empty());
}

}  // namespace
}  // namespace vemla::test
