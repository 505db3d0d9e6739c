// The decode run through the run operations, on the decode thread, into the null, WAV, recording and ALSA
// devices: whole runs, channel choices, CRC errors, layer changes, seeks, pauses, stops and priorities.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "alsa_device.h"
#include "eventually.h"
#include "frame_decoder.h"
#include "mci_buffer.h"
#include "notifier.h"
#include "null_device.h"
#include "recording_device.h"
#include "run.h"
#include "support.h"
#include "test_streams.h"
#include "wav_device.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kStereoBlock = 147456;  // 32 frames of 1152 stereo samples

class Settings final : public RunSettings {
 public:
  int priority() override { return priority_value; }
  int mix_index() override { return mix; }
  int priority_value = 3;
  int mix = 0;
};

class Title final : public TitleLabel {
 public:
  void set_title_caption(std::string_view caption) override { captions.emplace_back(caption); }
  std::vector<std::string> captions;
};

class CapturingNotifier final : public Notifier {
 public:
  void notify(std::string_view caption, std::string_view text, MessageIcon) override {
    std::lock_guard lock(mutex);
    messages.push_back(std::string(caption) + " | " + std::string(text));
  }
  std::mutex mutex;
  std::vector<std::string> messages;
};

// The PCM of a WAV file the WAV device wrote, and its channel count.
struct Heard {
  unsigned channels = 0;
  std::vector<int16_t> pcm;
};
Heard read_wav(const fs::path& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  Heard heard;
  if (bytes.size() < 44) return heard;
  heard.channels = bytes[22];
  heard.pcm.resize((bytes.size() - 44) / 2);
  std::memcpy(heard.pcm.data(), bytes.data() + 44, heard.pcm.size() * 2);
  return heard;
}

// The device heard exactly what the decoder makes, then silence to the end of the last block.
void expect_decoder_output_with_padding(const Heard& heard, const Decoded& decoded, size_t block_bytes) {
  ASSERT_EQ(heard.channels, decoded.channels);
  const size_t block = block_bytes / 2;
  ASSERT_EQ(heard.pcm.size(), (decoded.pcm.size() + block - 1) / block * block);
  EXPECT_TRUE(std::equal(decoded.pcm.begin(), decoded.pcm.end(), heard.pcm.begin()));
  EXPECT_TRUE(std::all_of(heard.pcm.begin() + static_cast<long>(decoded.pcm.size()), heard.pcm.end(),
                          [](int16_t v) { return v == 0; }));
}

class RunTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    streams_made_ = make_layer2(stereo(), 2, 44100, 6.0) && make_layer2(mono(), 1, 44100, 2.0) &&
                    make_layer2(protected_stream(), 2, 44100, 2.0, "-p");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static fs::path stereo() { return *dir_ / "stereo.mp2"; }
  static fs::path mono() { return *dir_ / "mono.mp2"; }
  static fs::path protected_stream() { return *dir_ / "crc.mp2"; }

  void SetUp() override {
    if (!streams_made_) GTEST_SKIP() << "twolame is needed to make the test streams";
    set_run_settings(&settings);
    set_title_label(&title);
    use(std::make_unique<NullDevice>(500));
  }
  void TearDown() override {
    close_run();
    set_run_settings(nullptr);
    set_title_label(nullptr);
    set_notifier(nullptr);
    player_state = Stopped;
  }

  template <typename D>
  D* use(std::unique_ptr<D> device) {
    D* raw = device.get();
    set_sound_device(std::move(device));
    null = dynamic_cast<NullDevice*>(raw);
    return raw;
  }
  // As the player does it: open, declare the run started, start.
  bool open(const fs::path& path) {
    track_file_name = path.string();
    const bool ok = open_run();
    run_open = true;
    return ok;
  }
  void play() {
    player_state = Playing;
    start_run();
  }
  static bool ended() {
    return eventually([] { return mpeg_args.done || (decode_thread && decode_thread->finished()); });
  }
  static int32_t reported() { return mpeg_args.reported_frame; }
  Heard play_to_wav(const fs::path& path) {
    const fs::path out = *dir_ / "heard.wav";
    use(std::make_unique<WavDevice>(out.string()));
    EXPECT_TRUE(open(path));
    play();
    EXPECT_TRUE(ended());
    EXPECT_TRUE(mpeg_args.done);
    close_run();
    return read_wav(out);
  }

  static inline TempDir* dir_ = nullptr;
  static inline bool streams_made_ = false;
  Settings settings;
  Title title;
  NullDevice* null = nullptr;
};

TEST_F(RunTest, AWholeRunReachesDoneWithEveryBlockHeard) {
  const Decoded decoded = decode_file(stereo());
  ASSERT_GT(decoded.frames, 64u);
  ASSERT_TRUE(open(stereo()));
  play();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(mpeg_args.done);
  EXPECT_EQ(null->bytes_played(), (decoded.frames + 31) / 32 * kStereoBlock);
  EXPECT_EQ(reported(), static_cast<int32_t>(decoded.frames) - 1) << "the number of the last frame read";
  EXPECT_EQ(null->opens(), 1u);
  EXPECT_EQ(null->format().channels, 2u);
  EXPECT_EQ(null->format().frequency, 44100u);
  close_run();
  EXPECT_EQ(decode_thread, nullptr);
  EXPECT_EQ(mpeg_args.stream, nullptr);
  EXPECT_EQ(mpeg_args.header, nullptr);
  EXPECT_FALSE(run_open);
}

TEST_F(RunTest, TheDevicePlaysWhatTheDecoderMakesInEveryChannelChoice) {
  struct Case {
    fs::path file;
    int mix;
    unsigned channels;
  };
  const Case cases[] = {{stereo(), ChoiceStereo, 2}, {stereo(), ChoiceLeft, 1}, {stereo(), ChoiceRight, 1},
                        {stereo(), ChoiceMono, 1},   {mono(), ChoiceStereo, 1}, {mono(), ChoiceMono, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.filename().string() + " with mix " + std::to_string(c.mix));
    settings.mix = c.mix;
    const Heard heard = play_to_wav(c.file);
    EXPECT_EQ(heard.channels, c.channels);
    expect_decoder_output_with_padding(heard, decode_file(c.file, static_cast<ChannelChoice>(c.mix)),
                                       kStereoBlock / 2 * c.channels);
  }
}

TEST_F(RunTest, OneSynthesisFilterServesEveryOneChannelOutput) {
  for (const fs::path& file : {stereo(), mono()}) {
    Ibitstream stream(file.string());
    Header header;
    Crc16* crc = nullptr;
    ASSERT_TRUE(header.read_frame_header(stream, crc));
    for (ChannelChoice choice : {ChoiceStereo, ChoiceLeft, ChoiceRight, ChoiceMono}) {
      MemorySink sink(2);
      FrameDecoder frames(stream, header, sink, choice);
      const bool two = header.mode() != SingleChannel && choice == ChoiceStereo;
      EXPECT_EQ(frames.filter1() != nullptr, two) << file << " choice " << int{choice};
      EXPECT_EQ(FrameDecoder::output_channels(header, choice), two ? 2u : 1u);
      if (header.mode() == SingleChannel) {
        EXPECT_EQ(frames.choice(), ChoiceLeft);
      }
    }
  }
}

TEST_F(RunTest, AFrameWithAWrongCrcIsSilentAndTheNextFrameDecodes) {
  // Flip the CRC word of frame 5.
  const fs::path broken = *dir_ / "broken-crc.mp2";
  std::vector<uint8_t> bytes = read_file(protected_stream());
  {
    Ibitstream stream(protected_stream().string());
    Header header;
    Crc16* crc = nullptr;
    for (int i = 0; i <= 5; ++i) ASSERT_TRUE(header.read_frame_header(stream, crc));
    ASSERT_NE(crc, nullptr) << "twolame -p writes CRC words";
    bytes.at(stream.header_offset() + 4) ^= 0x5A;
  }
  write_file(broken, bytes);

  const Decoded intact = decode_file(protected_stream());
  const Decoded damaged = decode_file(broken);
  ASSERT_EQ(damaged.frames + 1, intact.frames) << "the damaged frame gives no samples";
  const size_t frame = 1152 * 2;
  ASSERT_GT(damaged.pcm.size(), 7 * frame);
  EXPECT_TRUE(std::equal(intact.pcm.begin(), intact.pcm.begin() + 5 * frame, damaged.pcm.begin()));
  EXPECT_TRUE(std::any_of(damaged.pcm.begin() + 5 * frame, damaged.pcm.begin() + 6 * frame, [](int16_t v) {
    return v != 0;
  })) << "the frame after the damaged one is heard";

  expect_decoder_output_with_padding(play_to_wav(broken), damaged, kStereoBlock);
}

TEST_F(RunTest, AStreamThatChangesLayerBuildsAndDropsTheLayerIIIDecoder) {
  const fs::path part2 = *dir_ / "part.mp2", part3 = *dir_ / "part.mp3", mixed = *dir_ / "mixed.mp2";
  if (!make_layer3(part3, 2, 44100, 1.0)) GTEST_SKIP() << "lame is needed for a Layer III part";
  ASSERT_TRUE(make_layer2(part2, 2, 44100, 1.0));
  std::vector<uint8_t> bytes = read_file(part2);
  for (const fs::path& part : {part3, part2}) {
    const std::vector<uint8_t> more = read_file(part);
    bytes.insert(bytes.end(), more.begin(), more.end());
  }
  write_file(mixed, bytes);

  Ibitstream stream(mixed.string());
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  MemorySink sink(2);
  FrameDecoder frames(stream, header, sink, ChoiceStereo);
  ASSERT_TRUE(frames.seek(0));
  crc = header.frame_crc();
  std::vector<int> layers;
  do {
    frames.decode_frame(crc);
    EXPECT_EQ(frames.layer3() != nullptr, header.layer() == 3) << "frame " << stream.current_frame();
    if (layers.empty() || layers.back() != header.layer()) layers.push_back(header.layer());
  } while (header.read_frame_header(stream, crc));
  EXPECT_EQ(layers, (std::vector<int>{2, 3, 2}));

  expect_decoder_output_with_padding(play_to_wav(mixed), decode_file(mixed), kStereoBlock);
}

TEST_F(RunTest, EveryRunStartsWithASeekToFrameZero) {
  const Decoded decoded = decode_file(stereo());
  const fs::path out = *dir_ / "heard.wav";
  for (int run = 0; run < 2; ++run) {
    use(std::make_unique<WavDevice>(out.string()));
    ASSERT_TRUE(open(stereo()));
    // Headers read after opening move the stream on; the run still begins at frame 0.
    Crc16* crc = nullptr;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(mpeg_args.header->read_frame_header(*mpeg_args.stream, crc));
    play();
    ASSERT_TRUE(ended());
    close_run();
    expect_decoder_output_with_padding(read_wav(out), decoded, kStereoBlock);
  }
}

TEST_F(RunTest, StopWhilePausedEndsWithoutDoneAndKeepsTheLastReportedFrame) {
  null->set_speed(1);
  ASSERT_TRUE(open(stereo()));
  play();
  ASSERT_TRUE(eventually([] { return reported() > 3; }));
  player_state = Paused;
  pause_run();
  EXPECT_TRUE(null->paused());
  ASSERT_TRUE(eventually([] { return decode_thread->holding(); })) << "the thread holds at a safe point";
  const int32_t last = reported();
  returns([] { close_run(); }, "close_run of a paused run");
  EXPECT_FALSE(mpeg_args.done);
  EXPECT_EQ(reported(), last);
  EXPECT_EQ(decode_thread, nullptr);
  EXPECT_EQ(null->queued_blocks(), 0u);
  EXPECT_FALSE(null->is_open());
  EXPECT_EQ(player_state, Stopped);
}

TEST_F(RunTest, StopReturnsPromptlyWhileTheDeviceQueueIsFull) {
  null->set_speed(0);  // a device that has stopped consuming
  ASSERT_TRUE(open(stereo()));
  play();
  // Two blocks at the device and the third just queued: the thread waits for the oldest after frame 95.
  ASSERT_TRUE(eventually([&] { return reported() >= 95 && null->queued_blocks() == 3; }));
  returns([] { close_run(); }, "close_run with a full device queue");
  EXPECT_FALSE(mpeg_args.done);
  EXPECT_FALSE(null->is_open());
}

TEST_F(RunTest, StopReturnsPromptlyEvenWhenTheDeviceIgnoresReset) {
  RecordingDevice* stuck = use(std::make_unique<RecordingDevice>());
  stuck->instant = false;
  stuck->ignore_reset = true;
  ASSERT_TRUE(open(stereo()));
  play();
  ASSERT_TRUE(eventually([&] { return stuck->written().size() >= 3; }));
  returns([] { close_run(); }, "close_run with a device that no longer answers");
  EXPECT_FALSE(mpeg_args.done);
}

TEST_F(RunTest, PriorityZeroAndSevenLeaveNormalPriority) {
  const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  for (int setting : {0, 7, 1, 3}) {
    SCOPED_TRACE("PRIORITY " + std::to_string(setting));
    settings.priority_value = setting;
    ASSERT_TRUE(open(stereo()));
    const int expected = setting == 1 ? std::min(base + 10, 19) : base;
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(decode_thread->os_id())), expected);
    EXPECT_EQ(sched_getscheduler(decode_thread->os_id()), SCHED_OTHER);
    close_run();
  }
  settings.priority_value = 6;  // never fails, whatever the user may do
  ASSERT_TRUE(open(stereo()));
  EXPECT_LE(getpriority(PRIO_PROCESS, static_cast<id_t>(decode_thread->os_id())), base);
  close_run();
  EXPECT_EQ(null->opens(), 0u) << "runs closed before they started open no sound device";
}

TEST_F(RunTest, ASeekWhilePausedKeepsThePlayerPausedAndTheDeviceSilent) {
  null->set_speed(1);
  ASSERT_TRUE(open(stereo()));
  play();
  ASSERT_TRUE(eventually([] { return reported() > 3; }));
  player_state = Paused;
  pause_run();
  ASSERT_TRUE(eventually([] { return decode_thread->holding(); }));
  const uint64_t heard = null->bytes_played();

  request_seek(120);
  EXPECT_EQ(player_state, Paused);
  EXPECT_FALSE(decode_thread->suspended()) << "the seek resumes the thread";
  // The thread clears, seeks and queues from frame 120, and the paused device plays none of it.
  ASSERT_TRUE(eventually([&] { return reported() >= 120 && null->queued_blocks() >= 2; }));
  EXPECT_TRUE(null->paused());
  EXPECT_EQ(null->bytes_played(), heard);
  EXPECT_FALSE(mpeg_args.done);

  null->set_speed(500);
  player_state = Playing;
  start_run();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(mpeg_args.done);
}

TEST_F(RunTest, ASeekWhilePlayingContinuesAtTheFrameAskedFor) {
  const Decoded decoded = decode_file(stereo());
  null->set_speed(1);
  ASSERT_TRUE(open(stereo()));
  play();
  ASSERT_TRUE(eventually([] { return reported() > 3; }));
  null->set_speed(0);  // from here on only a seek can move the thread past frame 95
  request_seek(150);
  ASSERT_TRUE(eventually([] { return reported() >= 150; }));
  null->set_speed(500);
  ASSERT_TRUE(ended());
  EXPECT_TRUE(mpeg_args.done);
  EXPECT_EQ(reported(), static_cast<int32_t>(decoded.frames) - 1);
}

TEST_F(RunTest, ASeekPastTheEndEndsTheRunWithoutDone) {
  ASSERT_TRUE(open(stereo()));
  request_seek(100000);
  play();
  ASSERT_TRUE(ended());
  EXPECT_FALSE(mpeg_args.done);
}

TEST_F(RunTest, ASoundDeviceThatCannotBeOpenedEndsTheRunAsStoppedAndTheProgramGoesOn) {
  CapturingNotifier notes;
  set_notifier(&notes);
  RecordingDevice* refusing = use(std::make_unique<RecordingDevice>());
  refusing->fail_open = true;
  ASSERT_TRUE(open(stereo()));
  play();
  ASSERT_TRUE(eventually([] { return decode_thread->finished(); }));
  EXPECT_FALSE(mpeg_args.done) << "automatic play must not march on";
  {
    std::lock_guard lock(notes.mutex);
    EXPECT_EQ(notes.messages, std::vector<std::string>{"Audio playback error | Could not open wave device."});
  }
  close_run();

  use(std::make_unique<NullDevice>(500));
  ASSERT_TRUE(open(stereo()));
  play();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(mpeg_args.done);
}

TEST_F(RunTest, AFileWithoutAFrameHeaderShowsTheErrorInTheTitle) {
  const fs::path empty = *dir_ / "silence.bin";
  write_file(empty, std::vector<uint8_t>(4096, 0));
  EXPECT_FALSE(open(empty));
  EXPECT_EQ(title.captions, std::vector<std::string>{"Error: No header found"});
  close_run();
  EXPECT_EQ(null->opens(), 0u);
}

TEST_F(RunTest, TheEnvironmentChoosesTheSoundDeviceAndABadChoiceFallsBackToAlsa) {
  CapturingNotifier notes;
  set_notifier(&notes);
  setenv("VEMLA_AUDIO", "null:7", 1);
  set_sound_device(nullptr);
  EXPECT_NE(dynamic_cast<NullDevice*>(&sound_device()), nullptr);
  setenv("VEMLA_AUDIO", "speakers", 1);
  set_sound_device(nullptr);
  auto* alsa = dynamic_cast<AlsaDevice*>(&sound_device());
  ASSERT_NE(alsa, nullptr);
  EXPECT_EQ(alsa->pcm_name(), "default");
  unsetenv("VEMLA_AUDIO");
  std::lock_guard lock(notes.mutex);
  ASSERT_EQ(notes.messages.size(), 1u);
  EXPECT_NE(notes.messages[0].find("speakers"), std::string::npos) << notes.messages[0];
}

TEST_F(RunTest, TheAlsaDevicePlaysAWholeRunOnTheNullPcm) {
  std::string error;
  set_sound_device(make_sound_device("alsa:null", error));
  ASSERT_TRUE(open(stereo()));
  play();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(mpeg_args.done);
}

}  // namespace
}  // namespace vemla::test
