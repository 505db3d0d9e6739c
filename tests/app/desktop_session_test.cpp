// The real `vemla` on a session bus of the test's own, headless and on the silent device, driven as a desktop
// drives it: Debian's playerctl for the media controls, a second start for the handover, and the command line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "child_process.h"
#include "data.h"
#include "desktop_library.h"
#include "library_files.h"
#include "private_bus.h"
#include "support.h"

namespace vemla {
namespace {

using test::output_of;

// Polls until the condition holds; false when it still does not after a deadline generous for a busy machine.
template <typename F>
bool until(F condition) {
  for (int i = 0; i < 400; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

std::string read_text(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class DesktopSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"data", "config", "runtime", "music"}) std::filesystem::create_directory(home / folder);
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    ::setenv("VEMLA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("VEMLA_AUDIO", "null", 1);  // real time: a track plays on while the test looks at it
  }

  bool have_bus_and_client() {
    if (bus.address().empty() || !test::have_program("playerctl")) return false;
    bus.make_session_bus();
    return true;
  }
  // Three tracks of twenty seconds in a library of its own, closed again; its ".mb" file.
  std::string make_library() {
    Tdb db(home / "data");
    const std::filesystem::path library =
        test::make_tagged_library(db, home / "music", test::three_tracks(), 20.0);
    if (!library.empty()) close_library(db);
    return library.string();
  }
  std::unique_ptr<test::ChildProcess> start(std::vector<std::string> arguments, const std::string& name = "vemla") {
    arguments.insert(arguments.begin(), VEMLA_PROGRAM);
    return std::make_unique<test::ChildProcess>(arguments, home / (name + ".out"), home / (name + ".err"));
  }
  static std::string playerctl(const std::string& what) {
    return output_of("playerctl --player=vemla " + what + " 2>/dev/null");
  }
  // The media controls answer once the program has claimed its name.
  static bool answers() { return until([] { return playerctl("status") == "Stopped"; }); }
  static bool title_becomes(const std::string& title) {
    return until([&] { return playerctl("metadata xesam:title") == title; });
  }
  static bool status_becomes(const std::string& status) {
    return until([&] { return playerctl("status") == status; });
  }
  static double position() { return std::atof(playerctl("position").c_str()); }

  test::TempDir home;
  test::PrivateBus bus;
};

TEST_F(DesktopSessionTest, VersionAndHelpNeedNoDisplay) {
  ::unsetenv("QT_QPA_PLATFORM");
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  int status = -1;
  EXPECT_EQ(output_of(VEMLA_PROGRAM " --version", &status), "vemla 1.25");
  EXPECT_EQ(status, 0);
  EXPECT_NE(output_of(VEMLA_PROGRAM " --help", &status).find("Usage: vemla"), std::string::npos);
  EXPECT_EQ(status, 0);
}

TEST_F(DesktopSessionTest, WrongArgumentsAreAUsageError) {
  auto vemla = start({"--bogus"});
  EXPECT_EQ(vemla->wait(), 2);
  EXPECT_NE(read_text(home / "vemla.err").find("--help"), std::string::npos);
  auto two = start({"a.mb", "b.mb"}, "two");
  EXPECT_EQ(two->wait(), 2);
}

TEST_F(DesktopSessionTest, PlayerctlSeesThePlayer) {
  if (!have_bus_and_client()) GTEST_SKIP() << "dbus-daemon and playerctl are needed";
  auto vemla = start({});
  ASSERT_TRUE(answers()) << read_text(home / "vemla.err");
  EXPECT_NE(output_of("playerctl --list-all").find("vemla"), std::string::npos);
  // Nothing to play without a library: the commands are taken and change nothing.
  output_of("playerctl --player=vemla play 2>/dev/null");
  EXPECT_EQ(playerctl("status"), "Stopped");
}

TEST_F(DesktopSessionTest, PlayerctlPlaysPausesSkipsAndSeeks) {
  if (!have_bus_and_client()) GTEST_SKIP() << "dbus-daemon and playerctl are needed";
  const std::string library = make_library();
  if (library.empty()) GTEST_SKIP() << "lame is needed to make the tracks";
  auto vemla = start({library});
  ASSERT_TRUE(answers()) << read_text(home / "vemla.err");
  ASSERT_TRUE(title_becomes("First")) << read_text(home / "vemla.err");
  EXPECT_EQ(playerctl("metadata xesam:artist"), "Artist 1");
  EXPECT_EQ(playerctl("metadata xesam:album"), "Album 1");
  const long length = std::atol(playerctl("metadata mpris:length").c_str());
  EXPECT_GT(length, 19000000);
  EXPECT_LT(length, 21000000);

  playerctl("play");
  ASSERT_TRUE(status_becomes("Playing"));
  playerctl("pause");
  ASSERT_TRUE(status_becomes("Paused"));
  playerctl("play-pause");
  ASSERT_TRUE(status_becomes("Playing"));

  // Without Auto Play, Next moves to the next track and leaves starting it to Play, as the window's button does.
  playerctl("next");
  ASSERT_TRUE(title_becomes("Second"));
  playerctl("play");
  ASSERT_TRUE(status_becomes("Playing"));
  playerctl("previous");
  ASSERT_TRUE(title_becomes("First"));
  playerctl("play");
  ASSERT_TRUE(status_becomes("Playing"));

  playerctl("position 12");  // SetPosition on the current track
  ASSERT_TRUE(until([] { return position() >= 12.0; })) << position();
  playerctl("position 5-");  // Seek back by five seconds
  ASSERT_TRUE(until([] { return position() >= 6.5 && position() < 11.5; })) << position();

  playerctl("stop");
  ASSERT_TRUE(status_becomes("Stopped"));
  EXPECT_EQ(position(), 0.0);
}

TEST_F(DesktopSessionTest, SecondStartHandsItsLibraryOver) {
  if (!have_bus_and_client()) GTEST_SKIP() << "dbus-daemon and playerctl are needed";
  const std::string library = make_library();
  if (library.empty()) GTEST_SKIP() << "lame is needed to make the tracks";
  auto first = start({});
  ASSERT_TRUE(answers()) << read_text(home / "vemla.err");
  EXPECT_EQ(playerctl("metadata xesam:title"), "");

  auto second = start({library}, "second");
  EXPECT_EQ(second->wait(), 0) << read_text(home / "second.err");
  EXPECT_TRUE(title_becomes("First")) << read_text(home / "vemla.err");
  EXPECT_FALSE(first->ended());
}

TEST_F(DesktopSessionTest, QuitOverTheBusEndsTheProgram) {
  if (!have_bus_and_client() || !test::have_program("dbus-send")) GTEST_SKIP() << "dbus-send is needed";
  auto vemla = start({});
  ASSERT_TRUE(answers()) << read_text(home / "vemla.err");
  output_of("dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.vemla /org/mpris/MediaPlayer2 "
            "org.mpris.MediaPlayer2.Quit");
  EXPECT_EQ(vemla->wait(), 0);
}

}  // namespace
}  // namespace vemla
