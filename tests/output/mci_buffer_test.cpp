// The sound-device output buffer: block sizes, when blocks go to the device, what they hold, and that no wait
// outlasts a stop.
#include "mci_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <future>

#include "alsa_device.h"
#include "notifier.h"
#include "recording_device.h"
#include "support.h"
#include "test_streams.h"

namespace vemla::test {
namespace {

using namespace std::chrono_literals;

// 32-bit header words of hand-made frames, with their frame lengths.
constexpr uint32_t kLayer3Stereo44k = 0xFFFB9000;  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo
constexpr unsigned kLayer3Stereo44kBytes = 417;
constexpr uint32_t kLayer1Stereo48k = 0xFFFF1400;  // MPEG-1 Layer I, 32 kbit/s, 48 kHz, stereo
constexpr unsigned kLayer1Stereo48kBytes = 32;
constexpr uint32_t kLsfLayer3Mono22k = 0xFFF380C0;  // MPEG-2 Layer III, 64 kbit/s, 22.05 kHz, single channel
constexpr unsigned kLsfLayer3Mono22kBytes = 208;

class Control final : public WaitControl {
 public:
  bool stop_requested() override { return stop; }
  void pause_point() override {
    ++pause_points;
    if (on_pause_point) on_pause_point();
  }
  std::atomic<bool> stop{false};
  std::atomic<int> pause_points{0};
  std::function<void()> on_pause_point;
};

class CapturingNotifier final : public Notifier {
 public:
  CapturingNotifier() { set_notifier(this); }
  ~CapturingNotifier() override { set_notifier(nullptr); }
  void notify(std::string_view caption, std::string_view text, MessageIcon icon) override {
    messages.push_back(std::string(caption) + " | " + std::string(text));
    icons.push_back(icon);
  }
  std::vector<std::string> messages;
  std::vector<MessageIcon> icons;
};

// A distinct non-zero value for every sample of a run, different per channel.
int16_t sample_value(size_t index, unsigned channel) {
  return static_cast<int16_t>(1 + (index * 7 + channel * 3001) % 30000);
}

std::vector<int16_t> as_samples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

std::vector<int16_t> concatenated(const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<int16_t> all;
  for (const auto& block : blocks) {
    const auto samples = as_samples(block);
    all.insert(all.end(), samples.begin(), samples.end());
  }
  return all;
}

class BufferTest : public testing::Test {
 protected:
  std::unique_ptr<Header> make_header(uint32_t word, unsigned bytes) {
    auto header = header_of_frames(dir / ("frames" + std::to_string(word)), word, bytes);
    EXPECT_TRUE(header) << std::hex << word;
    return header;
  }
  void SetUp() override {
    header = make_header(kLayer3Stereo44k, kLayer3Stereo44kBytes);
    ASSERT_TRUE(header);
  }

  // Feeds frames of `samples_per_frame` samples a channel as the synthesis filters do (32 of channel 0, then
  // 32 of channel 1, per time slot), appending the interleaved samples to `expected`.
  void feed(MCIbuffer& buffer, int frames, unsigned samples_per_frame = 1152, bool one_by_one = false) {
    const unsigned channels = buffer.channels();
    for (int f = 0; f < frames; ++f) {
      for (unsigned slot = 0; slot < samples_per_frame / 32; ++slot) {
        int16_t values[2][32];
        for (unsigned c = 0; c < channels; ++c)
          for (unsigned i = 0; i < 32; ++i) values[c][i] = sample_value(fed_ + slot * 32 + i, c);
        for (unsigned c = 0; c < channels; ++c) {
          if (one_by_one)
            for (int16_t v : values[c]) buffer.put_sample(static_cast<int>(c), v);
          else
            buffer.put_samples(static_cast<int>(c), values[c], 32);
        }
        for (unsigned i = 0; i < 32; ++i)
          for (unsigned c = 0; c < channels; ++c) expected.push_back(values[c][i]);
      }
      fed_ += samples_per_frame;
      buffer.end_frame(1);
    }
  }
  // What the device heard must be exactly what was fed, then silence to the end of the last block.
  void expect_heard_with_padding(const std::vector<int16_t>& heard, size_t block_samples) {
    ASSERT_GE(heard.size(), expected.size());
    EXPECT_EQ(heard.size() % block_samples, 0u);
    EXPECT_LT(heard.size() - expected.size(), block_samples);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), heard.begin()))
        << "samples lost or out of order";
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<long>(expected.size()), heard.end(),
                            [](int16_t v) { return v == 0; }));
  }

  TempDir dir;
  std::unique_ptr<Header> header;
  RecordingDevice device;
  Control control;
  std::vector<int16_t> expected;
  size_t fed_ = 0;
};

TEST_F(BufferTest, BlocksHoldThirtyTwoFramesOfTheSamplesAFrameDelivers) {
  struct Case {
    const char* what;
    uint32_t word;
    unsigned frame_bytes;
    unsigned channels;
    size_t block;
  };
  const Case cases[] = {
      {"44.1 kHz stereo Layer III", kLayer3Stereo44k, kLayer3Stereo44kBytes, 2, 147456},
      {"48 kHz stereo Layer I", kLayer1Stereo48k, kLayer1Stereo48kBytes, 2, 49152},
      {"22.05 kHz single-channel LSF Layer III", kLsfLayer3Mono22k, kLsfLayer3Mono22kBytes, 1, 36864},
      // LSF Layer II and I frames carry 1152 and 384 samples, as in MPEG-1.
      {"24 kHz stereo LSF Layer II", 0xFFF58400, 384, 2, 147456},
      {"24 kHz stereo LSF Layer I", 0xFFF74400, 128, 2, 49152},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto h = make_header(c.word, c.frame_bytes);
    ASSERT_TRUE(h);
    EXPECT_EQ(MCIbuffer::block_size(h->samples_per_frame(), c.channels), c.block);
    RecordingDevice d;
    {
      MCIbuffer buffer({c.channels, h->frequency()}, h->samples_per_frame(), d, control);
      ASSERT_TRUE(buffer.opened());
      EXPECT_EQ(buffer.block_size(), c.block);
      EXPECT_EQ(d.format().channels, c.channels);
      EXPECT_EQ(d.format().frequency, h->frequency());
    }
    EXPECT_TRUE(d.written().empty()) << "nothing was put, nothing is played";
  }
}

TEST_F(BufferTest, ATenFrameTrackPlaysOneBlockSilentAfterItsTenthFrame) {
  {
    MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), device, control);
    feed(buffer, 10);
    EXPECT_TRUE(device.written().empty()) << "nothing is queued while decoding";
  }
  ASSERT_EQ(device.written().size(), 1u);
  EXPECT_EQ(device.written()[0].size(), 147456u);
  expect_heard_with_padding(concatenated(device.written()), 147456 / 2);
  EXPECT_EQ(device.log().back(), "close");
}

TEST_F(BufferTest, AThirtyTwoFrameTrackPlaysItsOneBlockAtTheEnd) {
  {
    MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), device, control);
    feed(buffer, 32);
    EXPECT_TRUE(device.written().empty());
  }
  ASSERT_EQ(device.written().size(), 1u);
  EXPECT_EQ(as_samples(device.written()[0]), expected);
}

TEST_F(BufferTest, PlaysFromTheSecondFullBlockAndPacesByTheOldestBlock) {
  device.instant = false;
  control.on_pause_point = [&] { device.finish_oldest(); };  // the device plays one block per look
  {
    MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), device, control);
    feed(buffer, 63);
    EXPECT_TRUE(device.written().empty());
    feed(buffer, 1);
    EXPECT_EQ(device.written().size(), 2u) << "two blocks at the device once the second is full";
    EXPECT_EQ(device.queued(), 2u);
    EXPECT_TRUE(device.waited_on().empty());
    feed(buffer, 32);
    ASSERT_EQ(device.written().size(), 3u);
    ASSERT_FALSE(device.waited_on().empty());
    EXPECT_EQ(device.waited_on().front(), 0) << "the wait is on the oldest block";
    feed(buffer, 40);
  }
  EXPECT_EQ(device.written().size(), 5u);
  expect_heard_with_padding(concatenated(device.written()), 147456 / 2);
  EXPECT_EQ(device.log().back(), "close");
}

TEST_F(BufferTest, ClearDropsEverythingAndCollectsTwoBlocksAgain) {
  MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), device, control);
  feed(buffer, 40);
  buffer.clear();
  EXPECT_EQ(device.log().back(), "reset");
  expected.clear();
  feed(buffer, 63);
  EXPECT_TRUE(device.written().empty());
  feed(buffer, 1);
  // Both channels in their places after the clear: left at even and right at odd positions.
  ASSERT_EQ(device.written().size(), 2u);
  EXPECT_EQ(concatenated(device.written()), expected);
}

TEST_F(BufferTest, SingleSamplesAndRunsOfSamplesFillBlocksAlike) {
  const auto mono = make_header(kLsfLayer3Mono22k, kLsfLayer3Mono22kBytes);
  ASSERT_TRUE(mono);
  {
    MCIbuffer buffer({1, mono->frequency()}, mono->samples_per_frame(), device, control);
    feed(buffer, 20, 576, true);
    feed(buffer, 20, 576, false);
  }
  EXPECT_EQ(device.written().size(), 2u);
  expect_heard_with_padding(concatenated(device.written()), 36864 / 2);
}

// Trimmed frames (the start and end of a gapless track) carry fewer samples or none: the blocks take them
// without a gap, the count of what was taken says where the next track's samples begin in the device's
// played count, and the end played without padding stops at the last sample.
TEST_F(BufferTest, ShortFramesLeaveNoGapAndTheEndNeedsNoPadding) {
  {
    MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), device, control);
    for (int k = 0; k < 40; ++k) buffer.end_frame(1);  // frames that gave nothing queue nothing
    EXPECT_EQ(buffer.frames_written(), 0u);
    feed(buffer, 1, 64);
    feed(buffer, 70);
    feed(buffer, 1, 96);
    EXPECT_EQ(buffer.frames_written(), expected.size() / 2);
    EXPECT_TRUE(buffer.play_out(false));
    EXPECT_EQ(concatenated(device.written()), expected);
    EXPECT_EQ(device.played_frames(), expected.size() / 2);
  }
  EXPECT_EQ(concatenated(device.written()), expected) << "nothing more when the buffer goes";
  EXPECT_EQ(device.log().back(), "close");
}

TEST_F(BufferTest, FramesLongerThanTheBlockWasSizedForLoseNoSample) {
  // A stream that changes from Layer I to Layer II: blocks sized for 384-sample frames get 1152-sample ones.
  const auto layer1 = make_header(kLayer1Stereo48k, kLayer1Stereo48kBytes);
  ASSERT_TRUE(layer1);
  {
    MCIbuffer buffer({2, layer1->frequency()}, layer1->samples_per_frame(), device, control);
    feed(buffer, 40, 1152);
  }
  expect_heard_with_padding(concatenated(device.written()), 49152 / 2);
}

TEST_F(BufferTest, AfterAStopRequestTheBufferDropsItsAudioWithoutWaiting) {
  device.instant = false;  // the device never finishes a block
  auto destroyed = std::async(std::launch::async, [&] {
    MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), device, control);
    feed(buffer, 70);
    buffer.request_stop();
  });
  ASSERT_EQ(destroyed.wait_for(30s), std::future_status::ready) << "destruction waited for the device";
  const auto log = device.log();
  const auto last_write = std::find(log.rbegin(), log.rend(), "write").base();
  EXPECT_EQ(std::vector<std::string>(last_write, log.end()), (std::vector<std::string>{"reset", "close"}));
}

TEST_F(BufferTest, NoWaitOutlastsTheRunsStop) {
  device.instant = false;
  device.ignore_reset = true;  // a device that no longer answers
  control.on_pause_point = [&] {
    if (control.pause_points > 3) control.stop = true;
  };
  auto ended = std::async(std::launch::async, [&] {
    MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), device, control);
    feed(buffer, 100);  // the third block waits for the first, which never finishes
  });
  ASSERT_EQ(ended.wait_for(30s), std::future_status::ready) << "a wait outlasted the stop";
  EXPECT_GT(control.pause_points, 3) << "the waits looked at the run between looks at the device";
}

TEST_F(BufferTest, ADeviceThatCannotBeOpenedIsReportedAndNothingElseHappens) {
  CapturingNotifier notes;
  device.fail_open = true;
  {
    MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), device, control);
    EXPECT_FALSE(buffer.opened());
    feed(buffer, 100);
    buffer.clear();
  }
  ASSERT_EQ(notes.messages.size(), 1u);
  // The device's reason follows the fixed sentence.
  EXPECT_EQ(notes.messages[0],
            "Audio playback error | Could not open the sound device.\n\nrefused by the test.");
  EXPECT_EQ(notes.icons[0], MessageIcon::Error);
  EXPECT_EQ(device.log(), std::vector<std::string>{"open"});
}

// An ALSA device is no wave device: the message names the device that could not be opened.
TEST_F(BufferTest, AnAlsaDeviceThatCannotBeOpenedIsNamed) {
  CapturingNotifier notes;
  AlsaDevice alsa("no-such-pcm");
  {
    MCIbuffer buffer({2, header->frequency()}, header->samples_per_frame(), alsa, control);
    EXPECT_FALSE(buffer.opened());
  }
  ASSERT_EQ(notes.messages.size(), 1u);
  EXPECT_EQ(notes.messages[0].find("wave"), std::string::npos) << notes.messages[0];
  EXPECT_NE(notes.messages[0].find("ALSA PCM \"no-such-pcm\""), std::string::npos) << notes.messages[0];
}

}  // namespace
}  // namespace vemla::test
