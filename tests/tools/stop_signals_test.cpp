// vemla-decode ended by signals, run as a child process with a deadline: waiting for a FIFO's writer, and
// playing, end on SIGINT, SIGTERM, SIGHUP and SIGQUIT with 128 + N; the wav: device's file is completed; a
// terminal in key mode comes back as it was; q gives up waiting.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "child_process.h"
#include "eventually.h"
#include "support.h"
#include "test_streams.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

const std::string kTool = VEMLA_DECODE_TOOL;

struct Stop {
  int signal;
  int status;
};
constexpr Stop kStops[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}, {SIGQUIT, 131}};

std::string text_of(const fs::path& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> command(const fs::path& input, std::vector<std::string> options) {
  options.insert(options.begin(), {kTool, input.string()});
  return options;
}

// The other end of a pseudo-terminal, which the child takes as its standard input.
class Terminal {
 public:
  Terminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    slave_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
  }
  ~Terminal() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return slave_ >= 0; }
  int input() const { return slave_; }
  // Canonical input with echo, as a shell leaves it.
  bool cooked() const {
    termios t{};
    return tcgetattr(slave_, &t) == 0 && (t.c_lflag & ICANON) && (t.c_lflag & ECHO);
  }
  void type(const char* keys) const { (void)!::write(master_, keys, std::strlen(keys)); }

 private:
  int master_ = -1;
  int slave_ = -1;
};

TEST(StopSignals, WaitingForAFifosWriterEndsOnEverySignal) {
  TempDir dir;
  const fs::path fifo = dir / "in.mp3";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::vector<std::string>> modes = {{"-o", (dir / "out.wav").string()}, {"--info"}};
#ifdef VEMLA_TEST_PLAY
  modes.push_back({"--play", "--device", "null"});
#endif
  for (const auto& mode : modes)
    for (const Stop& stop : kStops) {
      ChildProcess child(command(fifo, mode), dir / "stdout.txt", dir / "stderr.txt");
      ASSERT_TRUE(child.started());
      ASSERT_TRUE(eventually([&] { return child.holds_open(fifo); })) << mode[0];
      child.signal(stop.signal);
      EXPECT_EQ(child.wait(), stop.status) << mode[0] << ", " << strsignal(stop.signal);
      EXPECT_EQ(text_of(dir / "stderr.txt"), "") << mode[0];
      EXPECT_FALSE(fs::exists(dir / "out.wav"));
    }
}

TEST(StopSignals, AFifoWithAWriterIsReadToItsEnd) {
  TempDir dir;
  if (!make_layer3(dir / "in.mp3", 2, 44100, 2.0)) GTEST_SKIP() << "lame is needed to make the test stream";
  ASSERT_EQ(run("'" + kTool + "' '" + (dir / "in.mp3").string() + "' -o '" + (dir / "direct.wav").string() + "'"),
            0);
  const fs::path fifo = dir / "fifo.mp3";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ChildProcess child(command(fifo, {"-o", (dir / "out.wav").string()}), dir / "stdout.txt", dir / "stderr.txt");
  ASSERT_TRUE(eventually([&] { return child.holds_open(fifo); }));
  // A slow writer: the bytes come in pieces, with pauses.
  const std::vector<uint8_t> bytes = read_file(dir / "in.mp3");
  const int fd = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  for (size_t at = 0; at < bytes.size(); at += 10000) {
    ASSERT_GT(::write(fd, bytes.data() + at, std::min<size_t>(10000, bytes.size() - at)), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ::close(fd);
  ASSERT_EQ(child.wait(), 0) << text_of(dir / "stderr.txt");
  EXPECT_EQ(read_file(dir / "out.wav"), read_file(dir / "direct.wav"));
}

#ifdef VEMLA_TEST_PLAY

class PlayStopped : public testing::Test {
 protected:
  void SetUp() override {
    if (!make_layer3(dir / "in.mp3", 2, 44100, 20.0)) GTEST_SKIP() << "lame is needed to make the test stream";
    ASSERT_TRUE(terminal.ok()) << "no pseudo-terminal";
    ASSERT_TRUE(terminal.cooked());
  }
  TempDir dir;
  Terminal terminal;
};

// Playing in real time on a terminal in key mode: every signal ends it with its status and puts the terminal
// back, SIGHUP and SIGQUIT included.
TEST_F(PlayStopped, EverySignalEndsItAndTheTerminalComesBack) {
  for (const Stop& stop : kStops) {
    ChildProcess child(command(dir / "in.mp3", {"--play", "--device", "null:1"}), dir / "stdout.txt",
                       dir / "stderr.txt", terminal.input());
    ASSERT_TRUE(eventually([&] { return !terminal.cooked() || child.ended(); }));
    child.signal(stop.signal);
    EXPECT_EQ(child.wait(), stop.status) << strsignal(stop.signal) << ": " << text_of(dir / "stderr.txt");
    EXPECT_TRUE(terminal.cooked()) << strsignal(stop.signal);
  }
}

TEST_F(PlayStopped, QGivesUpWaitingForAFifosWriter) {
  const fs::path fifo = dir / "fifo.mp3";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ChildProcess child(command(fifo, {"--play", "--device", "null"}), dir / "stdout.txt", dir / "stderr.txt",
                     terminal.input());
  ASSERT_TRUE(eventually([&] { return child.holds_open(fifo) && !terminal.cooked(); }));
  terminal.type("q");
  EXPECT_EQ(child.wait(), 0);
  EXPECT_TRUE(terminal.cooked());
}

// The wav: device's file holds what was played, with the right sizes, under its own name.
TEST_F(PlayStopped, TheWavDevicesFileIsCompleted) {
  if (!make_long_layer3(dir / "long.mp3", 30)) GTEST_SKIP() << "lame is needed to make the test stream";
  const fs::path played = dir / "played.wav";
  for (const Stop& stop : {kStops[0], kStops[1]}) {
    fs::remove(played);
    ChildProcess child(command(dir / "long.mp3", {"--play", "--device", "wav:" + played.string()}),
                       dir / "stdout.txt", dir / "stderr.txt");
    ASSERT_TRUE(eventually([&] { return part_bytes(dir.path()) > 100000 || child.ended(); }));
    child.signal(stop.signal);
    ASSERT_EQ(child.wait(), stop.status) << text_of(dir / "stderr.txt");
    EXPECT_TRUE(part_files(dir.path()).empty());
    EXPECT_TRUE(wav_sizes_agree(played)) << strsignal(stop.signal);
  }
}

#endif

}  // namespace
}  // namespace vemla::test
