#include "play_command.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>

#include "device_factory.h"
#include "notifier.h"
#include "player.h"
#include "track_facts.h"

namespace vemla {
namespace {

std::atomic<bool> interrupted{false};

extern "C" void on_signal(int) {
  interrupted = true;
}

class FixedSettings final : public PlayerSettings {
 public:
  FixedSettings(int priority, int mix) : priority_(priority), mix_(mix) {}
  int priority() override { return priority_; }
  int mix_index() override { return mix_; }

 private:
  int priority_, mix_;
};

class StderrTitle final : public TitleLabel {
 public:
  explicit StderrTitle(std::string file) : file_(std::move(file)) {}
  void set_title_caption(std::string_view caption) override {
    std::cerr << "vemla-decode: " << file_ << ": " << caption << '\n';
  }

 private:
  std::string file_;
};

// Passes messages on to standard error and remembers that there were errors.
class CountingNotifier final : public Notifier {
 public:
  void notify(std::string_view caption, std::string_view text, MessageIcon icon) override {
    if (icon == MessageIcon::Error) ++errors;
    std::cerr << '\n' << caption << ": " << text << '\n';
  }
  std::atomic<int> errors{0};
};

// The terminal in single-key mode without echo while playing; restored at the end.
class KeyMode {
 public:
  KeyMode() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~KeyMode() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }

 private:
  termios saved_{};
  bool active_ = false;
};

enum class Key { None, Pause, Back, Forward, Quit };

// Waits up to `ms` for a key.
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

}  // namespace

int play_file(const PlayOptions& options) {
  std::string error;
  std::unique_ptr<SoundDevice> device = make_sound_device(
      options.device.empty() ? sound_device_choice_from_environment() : options.device, error);
  if (!device) {
    std::cerr << "vemla-decode: " << error << '\n';
    return 2;
  }
  FixedSettings settings(options.priority, options.choice);
  StderrTitle title(options.input);
  CountingNotifier messages;
  set_notifier(&messages);
  Player player(settings, title, messages, std::move(device));
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);

  player.track_file_name = options.input;
  if (!player.open_run()) {
    player.close_run();
    set_notifier(nullptr);
    return 1;
  }
  const float frame_duration = player.frame_duration();
  const TrackFacts facts = track_facts(*player.header(), *player.stream());
  const std::string total = time_text(facts.tracktotal / 1000);
  const int last_frame = std::max(0, static_cast<int>(facts.frametotal) - 1);
  const unsigned ten_seconds =
      frame_duration > 0 ? static_cast<unsigned>(10000.0f / frame_duration + 0.5f) : 0;

  const bool interactive = isatty(STDIN_FILENO) == 1;
  std::optional<KeyMode> keys;
  if (interactive) {
    keys.emplace();
    std::printf("space: pause/resume   left/right: 10 s back/forth   q: stop\n");
  }
  player.start_run();

  long shown = -1;
  PlayerState shown_state = Stopped;
  bool stopped = false;
  for (;;) {
    player.deliver_events();
    if (player.done()) break;
    if (!player.run_open() || player.thread_finished()) break;  // a failed seek or sound device
    if (interrupted) {
      stopped = true;
      break;
    }
    const Key key = interactive ? read_key(50) : (usleep(50000), Key::None);
    if (key == Key::Quit) {
      stopped = true;
      break;
    }
    if (key == Key::Pause) {
      if (player.player_state() == Playing)
        player.pause_run();
      else if (player.player_state() == Paused)
        player.start_run();
    }
    if ((key == Key::Back || key == Key::Forward) && ten_seconds > 0) {
      // By frame number, as the position bar asks, from the frame being heard.
      const long now = player.heard_frame();
      const long target =
          key == Key::Back ? now - static_cast<long>(ten_seconds) : now + static_cast<long>(ten_seconds);
      player.request_seek(static_cast<unsigned>(std::clamp(target, 0L, static_cast<long>(last_frame))));
    }
    if (interactive) {
      const long seconds =
          static_cast<long>(static_cast<float>(player.heard_frame()) * frame_duration * 0.001f);
      if (seconds != shown || player.player_state() != shown_state) {
        shown = seconds;
        shown_state = player.player_state();
        std::printf("\r%s / %s  %-8s", time_text(seconds).c_str(), total.c_str(),
                    player_state_text(shown_state));
        std::fflush(stdout);
      }
    }
  }
  const bool done = player.done();
  if (interactive) {
    const long seconds =
        static_cast<long>(static_cast<float>(player.heard_frame()) * frame_duration * 0.001f);
    std::printf("\r%s / %s  %-8s\n", time_text(seconds).c_str(), total.c_str(), done ? "ready" : "stopped");
  }
  player.close_run();
  player.deliver_events();  // what the decode thread said last
  if (const std::string reason = player.device().last_error(); messages.errors && !reason.empty())
    std::cerr << "vemla-decode: " << reason << '\n';
  keys.reset();
  set_notifier(nullptr);
  (void)stopped;  // a stop by the user is as good an ending as the end of the track
  return messages.errors ? 1 : 0;
}

}  // namespace vemla
