#include "play_command.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device_factory.h"
#include "notifier.h"
#include "player.h"
#include "stop_signals.h"
#include "track_facts.h"

namespace vemla {
namespace {

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
    // A message starts on a line of its own, below the position line when one is shown.
    if (position_line_open.exchange(false)) std::cerr << '\n';
    std::cerr << caption << ": " << text << '\n';
    std::lock_guard lock(mutex_);
    shown_.emplace_back(text);
  }
  // True when a message said this text already, alone or within it.
  bool shown(const std::string& text) {
    std::lock_guard lock(mutex_);
    return std::any_of(shown_.begin(), shown_.end(),
                       [&](const std::string& said) { return said.find(text) != std::string::npos; });
  }
  std::atomic<int> errors{0};
  std::atomic<bool> position_line_open{false};

 private:
  std::mutex mutex_;
  std::vector<std::string> shown_;
};

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
  StderrTitle title(options.name.empty() ? options.input : options.name);
  CountingNotifier messages;
  set_notifier(&messages);
  Player player(settings, title, messages, std::move(device));

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
    if (StopSignals::stop_requested()) {
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
        messages.position_line_open = true;
      }
    }
  }
  const bool done = player.done();
  if (interactive) {
    const long seconds =
        static_cast<long>(static_cast<float>(player.heard_frame()) * frame_duration * 0.001f);
    std::printf("\r%s / %s  %-8s\n", time_text(seconds).c_str(), total.c_str(), done ? "ready" : "stopped");
    messages.position_line_open = false;
  }
  player.close_run();
  player.deliver_events();  // what the decode thread said last
  if (const std::string reason = player.device().last_error();
      messages.errors && !reason.empty() && !messages.shown(reason))
    std::cerr << "vemla-decode: " << reason << '\n';
  keys.reset();
  set_notifier(nullptr);
  (void)stopped;  // a stop by the user is as good an ending as the end of the track
  return messages.errors ? 1 : 0;
}

}  // namespace vemla
