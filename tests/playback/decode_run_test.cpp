// A run that goes on from one stream into the next (gapless play): the files' exact samples one after the
// other on one device that is opened once, a file of another format left to a run of its own, and the heard
// stream switching when the device reaches the next file's first sample.
#include "decode_run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "eventually.h"
#include "notifier.h"
#include "player.h"
#include "recording_device.h"
#include "support.h"
#include "test_files.h"
#include "test_signal.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

class Settings final : public PlayerSettings {
 public:
  int priority() override { return 3; }
  int mix_index() override { return 0; }
  bool gapless() override { return gapless_play; }
  bool gapless_play = true;
};

class Title final : public TitleLabel {
 public:
  void set_title_caption(std::string_view) override {}
};

class Quiet final : public Notifier {
 public:
  void notify(std::string_view, std::string_view, MessageIcon) override {}
};

// The files that follow the first, in order.
class Files final : public FollowingStreams {
 public:
  std::string following_file() override {
    std::lock_guard lock(mutex);
    ++asked;
    if (next >= files.size()) return {};
    return files[next++].string();
  }
  float following_scale(float run_scale) override {
    std::lock_guard lock(mutex);
    return next <= scales.size() ? scales[next - 1] : run_scale;
  }
  std::mutex mutex;
  std::vector<fs::path> files;
  std::vector<float> scales;  // of the files given, in order; the run's own after the last
  size_t next = 0;
  int asked = 0;
};

std::vector<int16_t> samples_of(const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<int16_t> all;
  for (const auto& block : blocks) {
    const size_t at = all.size();
    all.resize(at + block.size() / 2);
    std::memcpy(all.data() + at, block.data(), block.size());
  }
  return all;
}

class FollowingStreamsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!have_program("lame")) return;
    dir_ = new TempDir;
    made_ = true;
    for (const auto& [name, seconds, rate] :
         {std::tuple{"a", 1.7, 44100u}, std::tuple{"b", 0.9, 44100u}, std::tuple{"c", 1.3, 44100u},
          std::tuple{"other", 1.0, 48000u}}) {
      const fs::path wav = *dir_ / (std::string(name) + ".wav");
      write_test_signal_wav(wav.string(), seconds, rate, 2);
      made_ = made_ && lame_encode(wav, file(name), "-V 3");
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static fs::path file(const std::string& name) { return *dir_ / (name + ".mp3"); }
  void SetUp() override {
    if (!made_) GTEST_SKIP() << "lame is needed to make the test files";
    auto owned = std::make_unique<RecordingDevice>();
    device = owned.get();
    player = std::make_unique<Player>(settings, title, quiet, std::move(owned));
    player->set_following_streams(&following);
  }
  // Plays `first` with the following files and returns once the run has ended.
  void play(const std::string& first, std::vector<std::string> next) {
    for (const std::string& name : next) following.files.push_back(file(name));
    player->track_file_name = file(first).string();
    ASSERT_TRUE(player->open_run());
    player->start_run();
    ASSERT_TRUE(eventually([&] { return player->done() || player->thread_finished(); }));
    EXPECT_TRUE(player->done());
  }

  static inline TempDir* dir_ = nullptr;
  static inline bool made_ = false;
  Settings settings;
  Title title;
  Quiet quiet;
  Files following;
  RecordingDevice* device = nullptr;
  std::unique_ptr<Player> player;
};

TEST_F(FollowingStreamsTest, FilesPlayOneAfterTheOtherOnOneOpenDevice) {
  play("a", {"b", "c"});
  EXPECT_EQ(player->streams_followed(), 2u);
  EXPECT_EQ(following.asked, 3) << "once more at the end of the last";
  std::vector<int16_t> expected;
  for (const char* name : {"a", "b", "c"}) {
    const Decoded d = decode_file(file(name), ChoiceStereo, false, true);
    expected.insert(expected.end(), d.pcm.begin(), d.pcm.end());
  }
  EXPECT_EQ(samples_of(device->written()), expected) << "nothing between the files, nothing after the last";
  const std::vector<std::string> log = device->log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "open"), 1);
  // The run's first seek resets the device before anything is written; nothing resets it after that.
  const auto first_write = std::find(log.begin(), log.end(), "write");
  const auto first_close = std::find(first_write, log.end(), "close");
  EXPECT_EQ(std::find(first_write, first_close, "reset"), first_close) << "no reset while playing";
  EXPECT_EQ(player->heard_stream(), 2u);
  player->close_run();
}

// A track of a chain plays at a gain of its own (its synthesis scale), and the next keeps it unless told.
TEST_F(FollowingStreamsTest, EachFollowingFileMayHaveAScaleOfItsOwn) {
  following.scales = {16384.0f};
  play("a", {"b", "c"});
  std::vector<int16_t> expected;
  for (const char* name : {"a", "b", "c"}) {
    const Decoded d = decode_file(file(name), ChoiceStereo, false, true);
    const size_t at = expected.size();
    expected.insert(expected.end(), d.pcm.begin(), d.pcm.end());
    if (name[0] != 'a') {
      // Samples clipped at full scale are not at half scale: they are left out of the comparison.
      for (size_t i = at; i < expected.size(); ++i)
        expected[i] = std::abs(expected[i]) >= 32767 ? int16_t{-32768} : static_cast<int16_t>(expected[i] / 2);
    }
  }
  const std::vector<int16_t> heard = samples_of(device->written());
  ASSERT_EQ(heard.size(), expected.size());
  int off = 0;
  for (size_t i = 0; i < heard.size(); ++i) off += expected[i] != -32768 && std::abs(heard[i] - expected[i]) > 1;
  EXPECT_EQ(off, 0) << "b at half scale, and c after it too; a at the run's";
  player->close_run();

  // The next run starts at full scale again.
  const size_t before = device->written().size();
  following.files.clear();
  following.next = 0;
  play("c", {});
  const std::vector<std::vector<uint8_t>> blocks = device->written();
  EXPECT_EQ(samples_of({blocks.begin() + static_cast<long>(before), blocks.end()}),
            decode_file(file("c"), ChoiceStereo, false, true).pcm);
  player->close_run();
}

TEST_F(FollowingStreamsTest, WithoutGaplessEveryDecodedSampleFollows) {
  settings.gapless_play = false;
  play("b", {"c"});
  std::vector<int16_t> expected;
  for (const char* name : {"b", "c"}) {
    const Decoded d = decode_file(file(name));
    expected.insert(expected.end(), d.pcm.begin(), d.pcm.end());
  }
  std::vector<int16_t> heard = samples_of(device->written());
  ASSERT_GE(heard.size(), expected.size());
  heard.resize(expected.size());  // then silence to the end of the last block, as without a following file
  EXPECT_EQ(heard, expected);
  player->close_run();
}

TEST_F(FollowingStreamsTest, AFileOfAnotherFormatIsNotFollowed) {
  play("a", {"other", "b"});
  EXPECT_EQ(player->streams_followed(), 0u);
  EXPECT_EQ(following.asked, 1);
  EXPECT_EQ(samples_of(device->written()), decode_file(file("a"), ChoiceStereo, false, true).pcm);
  EXPECT_EQ(device->format().frequency, 44100u);
  player->close_run();
}

// Blocks finish only when the test says so: the heard stream changes with the block that holds the next
// file's first sample, not when the decoder starts on it.
TEST_F(FollowingStreamsTest, TheNextFileIsHeardWhenItsFirstSampleIs) {
  device->instant = false;
  following.files = {file("b")};
  player->track_file_name = file("a").string();
  ASSERT_TRUE(player->open_run());
  player->start_run();
  const uint64_t a_frames = decode_file(file("a"), ChoiceStereo, false, true).pcm.size() / 2;
  bool switched = false;
  ASSERT_TRUE(eventually([&] {
    if (player->done()) return true;
    if (player->streams_followed() == 1 && !switched) {
      const uint64_t played = device->played_frames();
      const uint32_t heard = player->heard_stream();
      EXPECT_EQ(heard, played >= a_frames ? 1u : 0u) << played;
      switched = heard == 1;
      if (switched) {
        EXPECT_LT(player->heard_frame(), 64);
      }
    }
    device->finish_oldest();
    return false;
  }));
  EXPECT_TRUE(switched);
  EXPECT_EQ(player->heard_stream(), 1u);
  player->close_run();
}

}  // namespace
}  // namespace vemla::test
