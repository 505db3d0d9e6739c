#include "play_command.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "decode_run.h"
#include "device_factory.h"
#include "notifier.h"
#include "player.h"
#include "stop_signals.h"
#include "track_facts.h"

namespace vemla {
namespace {

class FixedSettings final : public PlayerSettings {
 public:
  FixedSettings(int priority, int mix, bool gapless, const GainSettings& gains)
      : priority_(priority), mix_(mix), gapless_(gapless), gains_(gains) {}
  int priority() override { return priority_; }
  int mix_index() override { return mix_; }
  bool gapless() override { return gapless_; }
  GainSettings gains() override { return gains_; }

 private:
  int priority_, mix_;
  bool gapless_;
  GainSettings gains_;
};

class StderrTitle final : public TitleLabel {
 public:
  void set_title_caption(std::string_view caption) override {
    std::cerr << "vemla-decode: " << file << ": " << caption << '\n';
  }
  std::string file;
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

// The files after the one a run starts with, handed to the decode thread one at a time as each stream ends,
// each at its own level.
class FileQueue final : public FollowingStreams {
 public:
  FileQueue(const std::vector<InputFile>& files, const GainSettings& gains) : files_(files), gains_(gains) {}
  void start_after(size_t first) { next_ = first + 1; }
  std::string following_file() override {
    const size_t k = next_++;
    given_ = k;
    return k < files_.size() ? files_[k].path : std::string();
  }
  float following_scale(float) override {
    const size_t k = given_;
    return k < files_.size() ? track_scale(gains_, files_[k].replaygain) : kFullScale;
  }

 private:
  const std::vector<InputFile>& files_;
  const GainSettings gains_;
  std::atomic<size_t> next_{1};
  std::atomic<size_t> given_{0};  // the file following_file() gave last
};

// What the position line shows of a file.
struct FileTimes {
  float frame_duration = 0;  // ms
  std::string total;
  int last_frame = 0;
  unsigned ten_seconds = 0;  // frames
};

FileTimes times_of(const std::string& path) {
  FirstMessage quiet;  // the player says what is wrong with a file
  ThreadNotifierScope scope(quiet);
  Ibitstream stream(path);
  Header header;
  Crc16* crc = nullptr;
  FileTimes t;
  if (!stream.is_open() || !header.read_frame_header(stream, crc)) return t;
  const TrackFacts facts = track_facts(header, stream);
  t.frame_duration = header.frame_duration_ms();
  t.total = time_text(facts.tracktotal / 1000);
  t.last_frame = std::max(0, static_cast<int>(facts.frametotal) - 1);
  t.ten_seconds = t.frame_duration > 0 ? static_cast<unsigned>(10000.0f / t.frame_duration + 0.5f) : 0;
  return t;
}

}  // namespace

int play_files(const PlayOptions& options) {
  std::string error;
  std::unique_ptr<SoundDevice> device = make_sound_device(
      options.device.empty() ? sound_device_choice_from_environment() : options.device, error);
  if (!device) {
    std::cerr << "vemla-decode: " << error << '\n';
    return 2;
  }
  const std::vector<InputFile>& files = options.inputs;
  FixedSettings settings(options.priority, options.choice, options.gapless, options.gains);
  StderrTitle title;
  CountingNotifier messages;
  set_notifier(&messages);
  Player player(settings, title, messages, std::move(device));
  FileQueue queue(files, options.gains);
  if (files.size() > 1) player.set_following_streams(&queue);

  const bool interactive = isatty(STDIN_FILENO) == 1;
  std::optional<KeyMode> keys;
  if (interactive) {
    keys.emplace();
    std::printf("space: pause/resume   left/right: 10 s back/forth   q: stop\n");
  }
  std::map<size_t, FileTimes> times;
  const auto times_for = [&](size_t k) -> const FileTimes& {
    auto it = times.find(k);
    if (it == times.end()) it = times.emplace(k, times_of(files[k].path)).first;
    return it->second;
  };
  const auto position_line = [&](size_t k, PlayerState state, const char* end) {
    const FileTimes& t = times_for(k);
    const long seconds =
        static_cast<long>(static_cast<float>(player.heard_frame()) * t.frame_duration * 0.001f);
    std::printf("\r%s / %s  %-8s%s", time_text(seconds).c_str(), t.total.c_str(), player_state_text(state),
                end);
    std::fflush(stdout);
    messages.position_line_open = *end == '\0';
    return seconds;
  };

  int unplayable = 0;
  bool stopped = false;
  size_t shown_file = files.size();
  for (size_t first = 0; first < files.size() && !stopped;) {
    title.file = files[first].name;
    player.track_file_name = files[first].path;
    player.track_gain = files[first].replaygain;
    queue.start_after(first);
    if (!player.open_run()) {
      player.close_run();
      ++unplayable;
      ++first;
      continue;
    }
    player.start_run();

    long shown = -1;
    PlayerState shown_state = Stopped;
    size_t heard = first;
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
      heard = first + player.heard_stream();
      const FileTimes& t = times_for(heard);
      // While the next file's start waits in the device queue, a seek would land in that file, not in the
      // one heard: the keys wait until it is heard.
      const bool overlap = player.heard_stream() != player.streams_followed();
      if ((key == Key::Back || key == Key::Forward) && t.ten_seconds > 0 && !overlap) {
        // By frame number, as the position bar asks, from the frame being heard.
        const long now = player.heard_frame();
        const long step = static_cast<long>(t.ten_seconds);
        const long target = key == Key::Back ? now - step : now + step;
        player.request_seek(static_cast<unsigned>(std::clamp(target, 0L, static_cast<long>(t.last_frame))));
      }
      if (interactive) {
        if (files.size() > 1 && heard != shown_file) {
          if (messages.position_line_open.exchange(false)) std::printf("\n");
          std::printf("%s\n", files[heard].name.c_str());
          shown_file = heard;
          shown = -1;
        }
        const long seconds =
            static_cast<long>(static_cast<float>(player.heard_frame()) * t.frame_duration * 0.001f);
        if (seconds != shown || player.player_state() != shown_state) {
          shown_state = player.player_state();
          shown = position_line(heard, shown_state, "");
        }
      }
    }
    const bool done = player.done();
    const size_t last = first + player.streams_followed();
    if (interactive) position_line(last, done ? Ready : Stopped, "\n");
    player.close_run();
    player.deliver_events();  // what the decode thread said last
    if (!done) break;         // stopped, or a device that failed: nothing more is played
    first = last + 1;
  }
  if (const std::string reason = player.device().last_error();
      messages.errors && !reason.empty() && !messages.shown(reason))
    std::cerr << "vemla-decode: " << reason << '\n';
  keys.reset();
  set_notifier(nullptr);
  // A stop by the user is as good an ending as the end of the last file.
  return messages.errors || unplayable ? 1 : 0;
}

}  // namespace vemla
