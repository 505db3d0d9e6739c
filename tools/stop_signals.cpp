#include "stop_signals.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace vemla {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// What the handler may touch: lock-free atomics and a terminal state that is complete before it is published.
std::atomic<int> caught_signal{0};
std::atomic<bool> terminal_saved{false};
termios saved_terminal{};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

struct sigaction earlier[sizeof kStopSignals / sizeof kStopSignals[0]];
bool installed[sizeof kStopSignals / sizeof kStopSignals[0]];

extern "C" void on_stop_signal(int signal) {
  if (terminal_saved.load()) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  int none = 0;
  // The first signal asks; a second one insists.
  if (!caught_signal.compare_exchange_strong(none, signal)) _exit(128 + signal);
}

}  // namespace

StopSignals::StopSignals() {
  caught_signal = 0;
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  action.sa_flags = 0;  // no SA_RESTART: a blocked call returns with EINTR
  sigemptyset(&action.sa_mask);
  for (int s : kStopSignals) sigaddset(&action.sa_mask, s);
  sigset_t handled;
  sigemptyset(&handled);
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    installed[i] = false;
    if (sigaction(kStopSignals[i], nullptr, &earlier[i]) != 0 || earlier[i].sa_handler == SIG_IGN) continue;
    installed[i] = sigaction(kStopSignals[i], &action, nullptr) == 0;
    if (installed[i]) sigaddset(&handled, kStopSignals[i]);
  }
  pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
}

StopSignals::~StopSignals() {
  for (size_t i = 0; i < std::size(kStopSignals); ++i)
    if (installed[i]) sigaction(kStopSignals[i], &earlier[i], nullptr);
}

int StopSignals::caught() { return caught_signal.load(); }

int StopSignals::exit_status(int status) {
  const int signal = caught();
  return signal ? 128 + signal : status;
}

KeyMode::KeyMode() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
  saved_terminal = saved_;
  terminal_saved = true;
  termios raw = saved_;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  if (!active_) terminal_saved = false;
}

KeyMode::~KeyMode() {
  if (!active_) return;
  terminal_saved = false;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

Key read_key(int ms) {
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, ms) <= 0) return Key::None;
  char buffer[8];
  const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
  if (n <= 0) return Key::None;
  if (buffer[0] == ' ') return Key::Pause;
  if (buffer[0] == 'q' || buffer[0] == 'Q') return Key::Quit;
  if (n >= 3 && buffer[0] == '\x1b' && buffer[1] == '[') {
    if (buffer[2] == 'C') return Key::Forward;
    if (buffer[2] == 'D') return Key::Back;
  }
  return Key::None;
}

}  // namespace vemla
