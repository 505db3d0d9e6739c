// How soon Pause, a seek and Stop are heard, as far as a machine without a sound card can tell: what ALSA
// grants for the buffer the ALSA device asks for (on the "null" PCM, and on "default" where it opens), and
// the player's own share of each: Pause and Stop until pause_run and close_run return (the device is paused
// or reset by then), a seek until the device plays the new place (the decoder's run-up and its first two
// blocks). Each beside the 150 ms that is allowed, as a ratio. The sound server's own cycle comes on top
// (worked out in output/alsa_device.h). Needs lame. Run: build/bench/device_latency_bench [REPEATS]   (20 of
// each by default)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "alsa_device.h"
#include "null_device.h"
#include "player.h"
#include "test_signal.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr double kAllowedMs = 150.0;

class Settings final : public PlayerSettings {
 public:
  int priority() override { return 3; }
  int mix_index() override { return 0; }
};

class Title final : public TitleLabel {
 public:
  void set_title_caption(std::string_view) override {}
};

class Quiet final : public Notifier {
 public:
  void notify(std::string_view, std::string_view, MessageIcon) override {}
};

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const double median = times[times.size() / 2], worst = times.back();
  std::printf("%-34s median %7.2f ms  worst %7.2f ms  worst/allowed %.3f\n", what, median, worst,
              worst / kAllowedMs);
}

void granted(const std::string& pcm) {
  AlsaDevice device(pcm);
  std::string reason;
  if (!device.open(PcmFormat{2, 44100}, reason)) {
    std::printf("ALSA \"%s\": not opened here (%s)\n", pcm.c_str(), reason.c_str());
    return;
  }
  std::printf(
      "ALSA \"%s\" grants a buffer of %lu frames (%.1f ms) in periods of %lu (%.1f ms); asked %.1f ms\n",
      pcm.c_str(), device.buffer_frames(), device.buffer_frames() / 44.1, device.period_frames(),
      device.period_frames() / 44.1, AlsaDevice::kLatencyUs / 1000.0);
  device.close();
}

// Waits, without timing anything of its own, until `done` holds.
template <typename F>
bool until(F done) {
  for (int i = 0; i < 20000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
  return false;
}

int run(int repeats, const fs::path& root) {
  const fs::path wav = root / "signal.wav", track = root / "track.mp3";
  write_test_signal_wav(wav.string(), 120, 44100, 2);
  const std::string lame = "lame --quiet -b 320 '" + wav.string() + "' '" + track.string() + "'";
  if (std::system(lame.c_str()) != 0 || !fs::exists(track)) {
    std::fprintf(stderr, "device_latency_bench: lame is needed to make the track\n");
    return 1;
  }
  granted("null");
  granted("default");

  Settings settings;
  Title title;
  Quiet quiet;
  auto owned = std::make_unique<NullDevice>(1.0);  // real time, as a sound card plays
  NullDevice& device = *owned;
  Player player(settings, title, quiet, std::move(owned));
  std::vector<double> pauses, stops, seeks;
  const unsigned frames = 120 * 44100 / 1152;
  for (int i = 0; i < repeats; ++i) {
    player.track_file_name = track.string();
    if (!player.open_run()) return 1;
    player.start_run();
    if (!until([&] { return device.played_frames() > 4410; })) return 1;
    // A seek to somewhere else in the track, as the position bar asks: until the new place sounds.
    auto start = Clock::now();
    player.request_seek((static_cast<unsigned>(i) * 997 + frames / 3) % (frames - 100));
    if (!until([&] { return device.played_frames() > 0; })) return 1;
    seeks.push_back(ms_since(start));
    start = Clock::now();
    player.pause_run();
    pauses.push_back(ms_since(start));
    player.start_run();
    start = Clock::now();
    player.close_run();
    stops.push_back(ms_since(start));
  }
  std::printf("%d of each, a 320 kbit/s 44.1 kHz stereo MP3 on the null device at real time:\n", repeats);
  report("Pause (pause_run)", pauses);
  report("seek, until the new place sounds", seeks);
  report("Stop (close_run)", stops);
  return 0;
}

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  char pattern[] = "/tmp/vemla-latency-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const std::filesystem::path root(pattern);
  const int status = vemla::run(repeats, root);
  std::filesystem::remove_all(root);
  return status;
}
