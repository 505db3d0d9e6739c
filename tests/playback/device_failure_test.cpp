// A sound device that goes away in the middle of a run (a USB device unplugged), through the real player:
// the run ends with one message naming the device, the player is Stopped, nothing waits for ever, and the
// next run plays once the device is back.
#include <gtest/gtest.h>

#include "eventually.h"
#include "failing_device.h"
#include "notifier.h"
#include "player.h"
#include "support.h"
#include "test_streams.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

class Settings final : public PlayerSettings {
 public:
  int priority() override { return 3; }
  int mix_index() override { return 0; }
};

class Title final : public TitleLabel {
 public:
  void set_title_caption(std::string_view) override {}
};

class Messages final : public Notifier {
 public:
  void notify(std::string_view caption, std::string_view text, MessageIcon) override {
    std::lock_guard lock(mutex);
    texts.push_back(std::string(caption) + " | " + std::string(text));
  }
  std::vector<std::string> taken() {
    std::lock_guard lock(mutex);
    return texts;
  }
  std::mutex mutex;
  std::vector<std::string> texts;
};

class Listener final : public PlayerListener {
 public:
  void state_changed(PlayerState state) override { states.push_back(state); }
  void run_ended() override { ++ended; }
  std::vector<PlayerState> states;
  int ended = 0;
};

class DeviceFailure : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    // Eight blocks of 32 frames, and a track shorter than two blocks, which ends while it plays out.
    made_ = make_layer2(*dir_ / "long.mp2", 2, 44100, 6.0) && make_layer2(*dir_ / "short.mp2", 2, 44100, 1.0);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!made_) GTEST_SKIP() << "twolame is needed to make the test streams";
    auto owned = std::make_unique<FailingDevice>("USB DAC");
    device = owned.get();
    player = std::make_unique<Player>(settings, title, messages, std::move(owned));
    player->set_listener(&listener);
  }
  void play(const char* name) {
    player->track_file_name = (*dir_ / name).string();
    ASSERT_TRUE(player->open_run());
    player->start_run();
  }
  // The decode thread has returned, and what it said has reached this thread.
  bool run_returned() {
    const bool returned = eventually([&] { return player->thread_finished(); });
    player->deliver_events();
    return returned;
  }
  void expect_one_message_naming_the_device() {
    const std::vector<std::string> texts = messages.taken();
    ASSERT_EQ(texts.size(), 1u) << (texts.empty() ? "" : texts.back());
    EXPECT_NE(texts[0].find("USB DAC went away"), std::string::npos) << texts[0];
  }

  static inline TempDir* dir_ = nullptr;
  static inline bool made_ = false;
  Settings settings;
  Title title;
  Messages messages;
  Listener listener;
  FailingDevice* device = nullptr;
  std::unique_ptr<Player> player;  // last: it goes before what it was given
};

TEST_F(DeviceFailure, ARunWhoseDeviceGoesAwayEndsStoppedAndTheNextPlays) {
  device->fail_after(3);
  play("long.mp2");
  ASSERT_TRUE(run_returned());
  EXPECT_FALSE(player->run_open()) << "the run is closed, not left hanging";
  EXPECT_EQ(player->player_state(), Stopped);
  EXPECT_FALSE(player->done()) << "a failed device is no end of the track: nothing plays on";
  EXPECT_EQ(listener.ended, 0);
  expect_one_message_naming_the_device();
  EXPECT_EQ(device->writes_refused(), 0) << "no block went to the device once it had failed";

  // Still away: the next Play says so once, and ends Stopped again.
  play("long.mp2");
  ASSERT_TRUE(run_returned());
  EXPECT_EQ(player->player_state(), Stopped);
  ASSERT_EQ(messages.taken().size(), 2u);
  EXPECT_NE(messages.taken()[1].find("USB DAC is not there"), std::string::npos) << messages.taken()[1];

  // Plugged in again: the same player plays the whole track.
  device->plug_in();
  play("long.mp2");
  ASSERT_TRUE(eventually([&] { return player->done(); }));
  player->deliver_events();
  EXPECT_EQ(listener.ended, 1);
  EXPECT_EQ(messages.taken().size(), 2u);
  player->close_run();
  EXPECT_EQ(listener.states,
            (std::vector<PlayerState>{Playing, Stopped, Playing, Stopped, Playing, Stopped}));
}

TEST_F(DeviceFailure, ADeviceThatGoesAwayWhileTheEndPlaysOutEndsTheRun) {
  device->hold_blocks(true);
  play("short.mp2");
  // Both blocks of the short track are queued: the run waits for them to play out.
  ASSERT_TRUE(eventually([&] { return device->queued() == 2; }));
  device->unplug();
  ASSERT_TRUE(run_returned());
  EXPECT_EQ(player->player_state(), Stopped);
  EXPECT_FALSE(player->done()) << "the end was not heard";
  EXPECT_EQ(listener.ended, 0);
  expect_one_message_naming_the_device();
}

TEST_F(DeviceFailure, ADeviceThatGoesAwayWhileTheRunWaitsForItEndsTheRun) {
  device->hold_blocks(true);
  play("long.mp2");
  // Two blocks at the device, and the third queued behind them while the run waits for the oldest.
  ASSERT_TRUE(eventually([&] { return device->queued() == 3; }));
  device->unplug();
  ASSERT_TRUE(run_returned());
  EXPECT_EQ(player->player_state(), Stopped);
  EXPECT_FALSE(player->done());
  expect_one_message_naming_the_device();
}

}  // namespace
}  // namespace vemla::test
