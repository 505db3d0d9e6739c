// The player: decode runs through its run operations, on the decode thread, into the null, WAV, recording and
// ALSA devices: whole runs, channel choices, CRC errors, layer changes, seeks, pauses, stops, priorities, the
// heard frame, messages from the decode thread and the player's end.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <atomic>
#include <fstream>
#include <thread>

#include "alsa_device.h"
#include "eventually.h"
#include "frame_decoder.h"
#include "mci_buffer.h"
#include "notifier.h"
#include "null_device.h"
#include "recording_device.h"
#include "player.h"
#include "support.h"
#include "test_streams.h"
#include "thread.h"
#include "wav_device.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kStereoBlock = 147456;  // 32 frames of 1152 stereo samples

class Settings final : public PlayerSettings {
 public:
  int priority() override { return priority_value; }
  int mix_index() override { return mix; }
  int priority_value = 3;
  int mix = 0;
};

class Title final : public TitleLabel {
 public:
  void set_title_caption(std::string_view caption) override { captions.emplace_back(caption); }
  void restore_title_caption() override { captions.emplace_back("(its own)"); }
  std::vector<std::string> captions;
};

// Messages, with the threads they came on.
class CapturingNotifier final : public Notifier {
 public:
  void notify(std::string_view caption, std::string_view text, MessageIcon) override {
    std::lock_guard lock(mutex);
    messages.push_back(std::string(caption) + " | " + std::string(text));
    threads.push_back(std::this_thread::get_id());
  }
  std::mutex mutex;
  std::vector<std::string> messages;
  std::vector<std::thread::id> threads;
};

class Listener final : public PlayerListener {
 public:
  void state_changed(PlayerState state) override { states.push_back(state); }
  void run_ended() override { ++ended; }
  void events_waiting() override {
    std::lock_guard lock(mutex);
    waiting_threads.push_back(std::this_thread::get_id());
  }
  std::vector<PlayerState> states;
  int ended = 0;
  std::mutex mutex;
  std::vector<std::thread::id> waiting_threads;
};

// Threads of this process, as the kernel counts them.
int thread_count() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  return -1;
}

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

class PlayerTest : public testing::Test {
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
    make(std::make_unique<NullDevice>(500));
  }

  // A new player on `device`, the test's listener installed.
  template <typename D>
  D* make(std::unique_ptr<D> device) {
    D* raw = device.get();
    player.reset();
    player = std::make_unique<Player>(settings, title, notes, std::move(device));
    player->set_listener(&listener);
    null = dynamic_cast<NullDevice*>(raw);
    return raw;
  }
  bool open(const fs::path& path) {
    player->track_file_name = path.string();
    return player->open_run();
  }
  bool ended() {
    return eventually([&] { return player->done() || player->thread_finished(); });
  }
  int32_t reported() const { return player->reported_frame(); }
  Heard play_to_wav(const fs::path& path) {
    const fs::path out = *dir_ / "heard.wav";
    make(std::make_unique<WavDevice>(out.string()));
    EXPECT_TRUE(open(path));
    player->start_run();
    EXPECT_TRUE(ended());
    EXPECT_TRUE(player->done());
    player->close_run();
    return read_wav(out);
  }

  static inline TempDir* dir_ = nullptr;
  static inline bool streams_made_ = false;
  Settings settings;
  Title title;
  CapturingNotifier notes;
  Listener listener;
  NullDevice* null = nullptr;
  std::unique_ptr<Player> player;  // last: it goes before what it was given
};

TEST_F(PlayerTest, AWholeRunReachesDoneWithEveryBlockHeard) {
  const Decoded decoded = decode_file(stereo());
  ASSERT_GT(decoded.frames, 64u);
  ASSERT_TRUE(open(stereo()));
  EXPECT_TRUE(player->run_open());
  EXPECT_FLOAT_EQ(player->frame_duration(), 1152.0f / 44.1f);
  player->start_run();
  EXPECT_EQ(player->player_state(), Playing);
  ASSERT_TRUE(ended());
  EXPECT_TRUE(player->done());
  EXPECT_EQ(null->bytes_played(), (decoded.frames + 31) / 32 * kStereoBlock);
  EXPECT_EQ(reported(), static_cast<int32_t>(decoded.frames) - 1) << "the number of the last frame read";
  EXPECT_EQ(player->heard_frame(), reported());
  EXPECT_EQ(null->opens(), 1u);
  EXPECT_EQ(null->format().channels, 2u);
  EXPECT_EQ(null->format().frequency, 44100u);
  player->deliver_events();
  EXPECT_EQ(listener.ended, 1);
  player->clear_done();
  EXPECT_FALSE(player->done());
  EXPECT_EQ(player->heard_frame(), 0);
  player->close_run();
  EXPECT_EQ(player->decode_thread(), nullptr);
  EXPECT_EQ(player->stream(), nullptr);
  EXPECT_EQ(player->header(), nullptr);
  EXPECT_FALSE(player->run_open());
  EXPECT_EQ(player->player_state(), Stopped);
  EXPECT_EQ(listener.states, (std::vector<PlayerState>{Playing, Stopped}));
}

TEST_F(PlayerTest, TheDevicePlaysWhatTheDecoderMakesInEveryChannelChoice) {
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

TEST_F(PlayerTest, OneSynthesisFilterServesEveryOneChannelOutput) {
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

TEST_F(PlayerTest, AFrameWithAWrongCrcIsSilentAndTheNextFrameDecodes) {
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

TEST_F(PlayerTest, AStreamThatChangesLayerBuildsAndDropsTheLayerIIIDecoder) {
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

TEST_F(PlayerTest, EveryRunStartsWithASeekToFrameZero) {
  const Decoded decoded = decode_file(stereo());
  const fs::path out = *dir_ / "heard.wav";
  for (int run = 0; run < 2; ++run) {
    make(std::make_unique<WavDevice>(out.string()));
    ASSERT_TRUE(open(stereo()));
    // Headers read after opening move the stream on; the run still begins at frame 0.
    auto& header = const_cast<Header&>(*player->header());
    auto& stream = const_cast<Ibitstream&>(*player->stream());
    Crc16* crc = nullptr;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(header.read_frame_header(stream, crc));
    player->start_run();
    ASSERT_TRUE(ended());
    player->close_run();
    expect_decoder_output_with_padding(read_wav(out), decoded, kStereoBlock);
  }
}

TEST_F(PlayerTest, StopWhilePausedEndsWithoutDoneAndKeepsTheLastReportedFrame) {
  null->set_speed(1);
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  ASSERT_TRUE(eventually([&] { return reported() > 3; }));
  player->pause_run();
  EXPECT_EQ(player->player_state(), Paused);
  EXPECT_TRUE(null->paused());
  ASSERT_TRUE(eventually([&] { return player->decode_thread()->holding(); })) << "it holds at a safe point";
  const int32_t last = reported();
  returns([&] { player->close_run(); }, "close_run of a paused run");
  EXPECT_FALSE(player->done());
  EXPECT_EQ(reported(), last);
  EXPECT_EQ(player->decode_thread(), nullptr);
  EXPECT_EQ(null->queued_blocks(), 0u);
  EXPECT_FALSE(null->is_open());
  EXPECT_EQ(player->player_state(), Stopped);
}

TEST_F(PlayerTest, StopReturnsPromptlyWhileTheDeviceQueueIsFull) {
  null->set_speed(0);  // a device that has stopped consuming
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  // Two blocks at the device and the third just queued: the thread waits for the oldest after frame 95.
  ASSERT_TRUE(eventually([&] { return reported() >= 95 && null->queued_blocks() == 3; }));
  returns([&] { player->close_run(); }, "close_run with a full device queue");
  EXPECT_FALSE(player->done());
  EXPECT_FALSE(null->is_open());
}

TEST_F(PlayerTest, StopReturnsPromptlyEvenWhenTheDeviceIgnoresReset) {
  RecordingDevice* stuck = make(std::make_unique<RecordingDevice>());
  stuck->instant = false;
  stuck->ignore_reset = true;
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  ASSERT_TRUE(eventually([&] { return stuck->written().size() >= 3; }));
  returns([&] { player->close_run(); }, "close_run with a device that no longer answers");
  EXPECT_FALSE(player->done());
}

TEST_F(PlayerTest, DestroyingAPlayerEndsItsThreadPromptly) {
  for (const std::string how : {"playing", "paused", "blocked on a full queue"}) {
    SCOPED_TRACE(how);
    const int threads = thread_count();
    make(std::make_unique<NullDevice>(1));
    ASSERT_TRUE(open(stereo()));
    player->start_run();
    ASSERT_TRUE(eventually([&] { return reported() > 3; }));
    EXPECT_GT(thread_count(), threads);
    if (how == "paused") {
      player->pause_run();
      ASSERT_TRUE(eventually([&] { return player->decode_thread()->holding(); }));
    } else if (how != "playing") {
      null->set_speed(0);
      ASSERT_TRUE(eventually([&] { return reported() >= 95 && null->queued_blocks() == 3; }));
    }
    returns([&] { player.reset(); }, "destroying a player");
    EXPECT_TRUE(eventually([&] { return thread_count() == threads; })) << "a thread was left behind";
  }
  EXPECT_EQ(std::count(listener.states.begin(), listener.states.end(), Stopped), 0)
      << "a dying player tells no one";
}

TEST_F(PlayerTest, PriorityZeroAndSevenLeaveNormalPriority) {
  const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  const auto thread_id = [&] { return player->decode_thread()->os_id(); };
  for (int setting : {0, 7, 1, 3}) {
    SCOPED_TRACE("PRIORITY " + std::to_string(setting));
    settings.priority_value = setting;
    ASSERT_TRUE(open(stereo()));
    const int expected = setting == 1 ? std::min(base + 10, 19) : base;
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(thread_id())), expected);
    EXPECT_EQ(sched_getscheduler(thread_id()), SCHED_OTHER);
    player->close_run();
  }
  settings.priority_value = 6;  // never fails, whatever the user may do
  ASSERT_TRUE(open(stereo()));
  EXPECT_LE(getpriority(PRIO_PROCESS, static_cast<id_t>(thread_id())), base);
  player->close_run();
  EXPECT_EQ(null->opens(), 0u) << "runs closed before they started open no sound device";
}

TEST_F(PlayerTest, ASeekWhilePausedKeepsThePlayerPausedAndTheDeviceSilent) {
  null->set_speed(1);
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  ASSERT_TRUE(eventually([&] { return reported() > 3; }));
  player->pause_run();
  ASSERT_TRUE(eventually([&] { return player->decode_thread()->holding(); }));
  const uint64_t heard = null->bytes_played();

  player->request_seek(120);
  EXPECT_EQ(player->player_state(), Paused);
  EXPECT_FALSE(player->decode_thread()->suspended()) << "the seek resumes the thread";
  // The thread clears, seeks and queues from frame 120, and the paused device plays none of it.
  ASSERT_TRUE(eventually([&] { return reported() >= 120 && null->queued_blocks() >= 2; }));
  EXPECT_TRUE(null->paused());
  EXPECT_EQ(null->bytes_played(), heard);
  EXPECT_EQ(player->heard_frame(), 120);
  EXPECT_FALSE(player->done());

  null->set_speed(500);
  player->start_run();
  EXPECT_EQ(player->player_state(), Playing);
  ASSERT_TRUE(ended());
  EXPECT_TRUE(player->done());
}

TEST_F(PlayerTest, ASeekWhilePlayingContinuesAtTheFrameAskedFor) {
  const Decoded decoded = decode_file(stereo());
  null->set_speed(1);
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  ASSERT_TRUE(eventually([&] { return reported() > 3; }));
  null->set_speed(0);  // from here on only a seek can move the thread past frame 95
  player->request_seek(150);
  ASSERT_TRUE(eventually([&] { return reported() >= 150; }));
  null->set_speed(500);
  ASSERT_TRUE(ended());
  EXPECT_TRUE(player->done());
  EXPECT_EQ(reported(), static_cast<int32_t>(decoded.frames) - 1);
}

// The device finishes a block (32 frames) only when the test says so.
TEST_F(PlayerTest, TheHeardFrameFollowsTheDeviceAndTheSeeks) {
  RecordingDevice* device = make(std::make_unique<RecordingDevice>());
  device->instant = false;
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  ASSERT_TRUE(eventually([&] { return device->written().size() == 3; }));
  EXPECT_GE(reported(), 95) << "the decoder runs ahead";
  EXPECT_EQ(player->heard_frame(), 0) << "nothing has been played yet";
  device->finish_oldest();
  EXPECT_EQ(player->heard_frame(), 32);
  device->finish_oldest();
  EXPECT_EQ(player->heard_frame(), 64);

  player->request_seek(100);
  EXPECT_EQ(player->heard_frame(), 100) << "from the moment it is asked for";
  ASSERT_TRUE(eventually([&] { return device->queued() == 3 && reported() >= 100 + 95; }));
  EXPECT_EQ(player->heard_frame(), 100);
  device->finish_oldest();
  EXPECT_EQ(player->heard_frame(), 132);
}

// The decoder reaches the end of a short track long before its last blocks are heard; a seek back then, also
// while paused, plays on from there instead of ending the track.
TEST_F(PlayerTest, ASeekWhileTheEndPlaysOutPlaysOn) {
  const Decoded decoded = decode_file(mono());
  const auto last = static_cast<int32_t>(decoded.frames) - 1;
  ASSERT_LT(decoded.frames, 96u) << "the whole track fits the device's queue";
  null->set_speed(0);
  ASSERT_TRUE(open(mono()));
  player->start_run();
  ASSERT_TRUE(eventually([&] { return reported() == last && null->queued_blocks() == 3; }));
  player->pause_run();
  ASSERT_TRUE(eventually([&] { return player->decode_thread()->holding(); }));

  player->request_seek(10);
  ASSERT_TRUE(eventually([&] { return player->done() || (reported() == last && null->queued_blocks() == 3); }));
  EXPECT_FALSE(player->done()) << "the seek was lost and the track ended";
  EXPECT_EQ(player->player_state(), Paused);
  EXPECT_TRUE(null->paused());
  EXPECT_EQ(player->heard_frame(), 10);

  null->set_speed(500);
  player->start_run();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(player->done());
  const size_t mono_block = kStereoBlock / 2;
  EXPECT_EQ(null->bytes_played(), (decoded.frames - 10 + 31) / 32 * mono_block) << "from frame 10 to the end";
  EXPECT_EQ(null->opens(), 1u) << "the device stayed open";
}

// The position bar's length is an estimate that can pass the last frame (frames with padding are longer than
// the first one): a seek there ends the track as playing to its end does, so that Auto Play goes on.
TEST_F(PlayerTest, ASeekPastTheLastFrameEndsTheTrack) {
  const Decoded decoded = decode_file(stereo());
  for (const unsigned frame : {static_cast<unsigned>(decoded.frames), 100000u}) {
    ASSERT_TRUE(open(stereo()));
    player->request_seek(frame);
    player->start_run();
    ASSERT_TRUE(ended()) << frame;
    EXPECT_TRUE(player->done()) << frame;
    player->deliver_events();
    EXPECT_TRUE(player->run_open()) << "the owner moves on from the end";
    player->close_run();
  }
  EXPECT_EQ(listener.ended, 2);
}

// A device that cannot be opened: the message waits for the owner's thread, the run ends as Stopped, and
// the next run plays.
TEST_F(PlayerTest, MessagesOfTheDecodeThreadReachTheOwner) {
  RecordingDevice* refusing = make(std::make_unique<RecordingDevice>());
  refusing->fail_open = true;
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  ASSERT_TRUE(eventually([&] {
    std::lock_guard lock(listener.mutex);
    return listener.waiting_threads.size() == 2;  // the message and the end of the run
  }));
  EXPECT_FALSE(player->done()) << "automatic play must not march on";
  {
    std::lock_guard lock(listener.mutex);
    EXPECT_NE(listener.waiting_threads[0], std::this_thread::get_id());
    std::lock_guard notes_lock(notes.mutex);
    EXPECT_TRUE(notes.messages.empty()) << "nothing is shown from the decode thread";
  }
  EXPECT_TRUE(player->run_open());
  player->deliver_events();
  {
    std::lock_guard lock(notes.mutex);
    EXPECT_EQ(notes.messages,
              std::vector<std::string>{
                  "Audio playback error | Could not open the sound device.\n\nrefused by the test."});
    EXPECT_EQ(notes.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
  }
  EXPECT_FALSE(player->run_open());
  EXPECT_EQ(player->player_state(), Stopped);

  refusing->fail_open = false;
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(player->done());
}

TEST_F(PlayerTest, AFileWithoutAFrameHeaderShowsTheErrorInTheTitle) {
  const fs::path empty = *dir_ / "silence.bin";
  write_file(empty, std::vector<uint8_t>(4096, 0));
  EXPECT_FALSE(open(empty));
  EXPECT_TRUE(player->run_open()) << "the next close_run ends it";
  EXPECT_EQ(title.captions, std::vector<std::string>{"Error: No header found"});
  player->start_run();
  EXPECT_EQ(player->player_state(), Stopped) << "a run without a header does not start";
  player->close_run();
  EXPECT_EQ(null->opens(), 0u);
  ASSERT_TRUE(open(stereo()));
  ASSERT_TRUE(open(stereo()));
  EXPECT_EQ(title.captions, (std::vector<std::string>{"Error: No header found", "(its own)"}))
      << "the next file with a header puts the caption back, once";

  EXPECT_FALSE(open(*dir_ / "missing.mp2"));
  std::lock_guard lock(notes.mutex);
  ASSERT_EQ(notes.messages.size(), 1u) << "a file that cannot be opened is reported to the owner";
  EXPECT_NE(notes.messages[0].find("missing.mp2"), std::string::npos) << notes.messages[0];
}

TEST_F(PlayerTest, TheAlsaDevicePlaysAWholeRunOnTheNullPcm) {
  make(std::make_unique<AlsaDevice>("null"));
  ASSERT_TRUE(open(stereo()));
  player->start_run();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(player->done());
}

}  // namespace
}  // namespace vemla::test
