// The real `vemla` on an X server of the test's own (Xvfb) under a real window manager (openbox), which puts
// a frame around the window as a desktop does: the window comes back to its place at every start, and a space
// pressed at start plays instead of going into the title's field. Keys and closing through xdotool.
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
#include "table.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using test::output_of;

// Polls until the condition holds; false when it still does not after a minute (a program's start on a
// machine busy with other work has taken over 20 s).
template <typename F>
bool until(F condition) {
  for (int i = 0; i < 1200; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

std::string read_text(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class WindowManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"Xvfb", "openbox", "xdotool", "xprop"}) {
      if (!test::have_program(program)) GTEST_SKIP() << "Xvfb, openbox, xdotool and xprop are needed";
    }
    for (const char* folder : {"data", "config", "runtime", "music"}) fs::create_directory(home / folder);
    fs::permissions(home / "runtime", fs::perms::owner_all);
    // Xvfb names the display it found free.
    server = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{"/usr/bin/env", "Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"},
        home / "display", home / "xvfb.err");
    ASSERT_TRUE(until([&] { return !read_text(home / "display").empty() || server->ended(); }));
    const std::string number = read_text(home / "display");
    ASSERT_FALSE(number.empty()) << read_text(home / "xvfb.err");
    ::setenv("DISPLAY", (":" + number.substr(0, number.find('\n'))).c_str(), 1);
    manager = std::make_unique<test::ChildProcess>(std::vector<std::string>{"/usr/bin/env", "openbox"},
                                                   home / "openbox.out", home / "openbox.err");
    // The window manager runs once it names itself on the root window.
    ASSERT_TRUE(until([&] {
      return output_of("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") != std::string::npos ||
             manager->ended();
    }));
    ASSERT_FALSE(manager->ended()) << read_text(home / "openbox.err");
    ::setenv("VEMLA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (home / "no-bus").string()).c_str(), 1);  // alone
    ::setenv("VEMLA_AUDIO", ("wav:" + (home / "played.wav").string()).c_str(), 1);
  }
  void TearDown() override {
    vemla.reset();
    manager.reset();
    server.reset();
    for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "VEMLA_AUDIO"})
      ::unsetenv(name);
  }

  // Starts vemla and waits for its main window (its title ends in the program's name); its X id, or empty.
  std::string start(const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> command{VEMLA_PROGRAM};
    command.insert(command.end(), arguments.begin(), arguments.end());
    vemla = std::make_unique<test::ChildProcess>(command, home / "vemla.out", home / "vemla.err");
    std::string window;
    until([&] {
      window = output_of("xdotool search --onlyvisible --name 'Vemla$' 2>/dev/null | head -n 1");
      return !window.empty() || vemla->ended();
    });
    return window;
  }
  // Closes the window as its user does, through the window manager (Alt+F4), and waits for the program's end.
  int close(const std::string& window) {
    output_of("xdotool windowactivate --sync " + window + " key --clearmodifiers alt+F4 2>/dev/null");
    return vemla->wait();
  }
  bool framed(const std::string& window) {
    return output_of("xprop -id " + window + " _NET_FRAME_EXTENTS 2>/dev/null").find('=') != std::string::npos;
  }
  std::string stored(const char* key) {
    std::ifstream in(home / "config" / "Korvane" / "Vemla Version 1.25.conf");
    std::string line;
    const std::string prefix = std::string(key) + "=";
    while (std::getline(in, line)) {
      if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    }
    return {};
  }

  test::TempDir home;
  std::unique_ptr<test::ChildProcess> server, manager, vemla;
};

// The stored position is the frame's: before the frame was known, the window's inside went there and the
// frame above it, one title bar higher at every start.
TEST_F(WindowManagerTest, WindowComesBackToItsPlace) {
  fs::create_directories(home / "config" / "Korvane");
  std::ofstream(home / "config" / "Korvane" / "Vemla Version 1.25.conf")
      << "[General]\nx=300\ny=200\ndx=632\ndy=387\n";
  for (int run = 1; run <= 3; ++run) {
    const std::string window = start();
    ASSERT_FALSE(window.empty()) << read_text(home / "vemla.err");
    // The window manager has framed it once it tells the frame's extents.
    ASSERT_TRUE(until([&] { return framed(window); })) << "no frame: " << read_text(home / "openbox.err");
    ASSERT_EQ(close(window), 0) << read_text(home / "vemla.err");
    EXPECT_EQ(stored("x") + "," + stored("y"), "300,200") << "after start " << run;
  }
}

// Opened at start, the library enables the title's field; space is to play, not to go into the title.
TEST_F(WindowManagerTest, SpaceAtStartPlays) {
  Tdb db(home / "data");
  const fs::path library = test::make_tagged_library(db, home / "music", test::three_tracks(), 20.0);
  if (library.empty()) GTEST_SKIP() << "lame is needed to make the tracks";
  close_library(db);
  const std::string window = start({library.string()});
  ASSERT_FALSE(window.empty()) << read_text(home / "vemla.err");
  output_of("xdotool windowactivate --sync " + window + " 2>/dev/null");
  ASSERT_TRUE(until([&] { return output_of("xdotool getactivewindow") == window; }));
  // The library opens once the window shows; then the title names its first track.
  ASSERT_TRUE(until([&] { return output_of("xdotool getwindowname " + window).starts_with("First"); }))
      << output_of("xdotool getwindowname " + window);
  output_of("xdotool key --clearmodifiers space");
  // The device writes under a scratch name until the run ends.
  EXPECT_TRUE(until([&] {
    for (const auto& entry : fs::directory_iterator(home.path())) {
      std::error_code error;
      if (entry.path().filename().string().find("played.wav") != std::string::npos &&
          fs::file_size(entry.path(), error) > 44 && !error)
        return true;
    }
    return false;
  })) << "nothing played";
  ASSERT_EQ(close(window), 0) << read_text(home / "vemla.err");
  open_library(db, split_library_path(library));
  db.Table1.first();
  EXPECT_EQ(db.Table1.field_by_name("TITLE").as_text(), "First");
}

}  // namespace
}  // namespace vemla
