// The processor time of the whole desktop program (its window shown, the real event loop, the decode thread):
// while a track plays in real time on the silent `null` device, as CPU seconds per second of audio heard, and
// while nothing plays, per second of real time; side by side with their targets (0.01 and 0.001). Needs lame.
// Nothing playing is measured twice: with the focus in the title's edit, whose text cursor blinks (the toolkit
// redraws it twice a second), and with the focus on Play.
// The track again with its ReplayGain applied and the volume slider half way, beside it as a ratio (about 1.0:
// the gain rides on the synthesis filters' scale).
// Then three tracks played one into the next without a break (Auto Play), through their two joins.
// Run: build/bench/player_cpu_bench [SECONDS]   (each case runs that long, 5 by default)
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QSlider>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "library_files.h"
#include "data_controls.h"
#include "null_device.h"
#include "options_dialog.h"
#include "player_settings.h"
#include "program.h"
#include "replaygain_options.h"
#include "rows.h"
#include "test_signal.h"
#include "track_gains.h"
#include "track_import.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

double cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);  // every thread of the process
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void run_event_loop(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "player_cpu_bench: %s\n", what);
  std::exit(1);
}

int run(int argc, char** argv, const fs::path& root) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  if (!(seconds > 0)) fail("the time per case must be positive");

  QApplication application(argc, argv);
  const fs::path wav = root / "signal.wav", track = root / "track.mp3";
  write_test_signal_wav(wav.string(), seconds + 10, 44100, 2);
  const std::string lame = "lame --quiet -b 128 '" + wav.string() + "' '" + track.string() + "'";
  if (std::system(lame.c_str()) != 0 || !fs::exists(track)) fail("lame is needed to make the track");

  // An album of three tracks, each long enough for two joins within the measured time.
  std::vector<fs::path> album;
  for (int k = 1; k <= 3; ++k) {
    const fs::path part_wav = root / ("part" + std::to_string(k) + ".wav");
    album.push_back(root / ("part" + std::to_string(k) + ".mp3"));
    write_test_signal_wav(part_wav.string(), seconds / 2.5, 44100, 2);
    const std::string encode = "lame --quiet -b 128 '" + part_wav.string() + "' '" + album.back().string() + "'";
    if (std::system(encode.c_str()) != 0) fail("lame is needed to make the album");
  }

  auto device = std::make_unique<NullDevice>(1.0);  // real time
  NullDevice& null = *device;
  Program program(std::move(device));
  program.data_module.Table2.open();
  create_library(program.data_module, {root, "Bench"});
  if (!import_track(program.data_module.Table1, track, false).added()) fail("the track was not imported");
  program.playlist.refresh_category_captions();
  program.playlist.ResetClick();
  program.form1.show();
  run_event_loop(0.5);  // the window drawn, the first idle rules run

  if (program.player_control.idle_interval() != -1) fail("the idle timer does not rest while nothing plays");
  const auto idle_cpu = [&] {
    const double before = cpu_seconds();
    run_event_loop(seconds);
    return (cpu_seconds() - before) / seconds;
  };
  program.form1.RzDBLineEdit1->setFocus();
  const double blinking = idle_cpu();
  program.form1.Play->setFocus();
  const double idle = idle_cpu();

  // The track from its start: CPU seconds per second heard.
  const auto track_cpu = [&](double& heard_seconds) {
    program.player_control.PlayClick();
    if (program.player_control.player_state() != Playing) fail("the track does not play");
    run_event_loop(0.5);  // past the start of the run
    const int64_t heard_from = program.player_control.position_us();
    const double cpu_before = cpu_seconds();
    run_event_loop(seconds);
    const double used_cpu = cpu_seconds() - cpu_before;
    heard_seconds = static_cast<double>(program.player_control.position_us() - heard_from) * 1e-6;
    program.player_control.StopClick();
    if (heard_seconds <= 0) fail("nothing was heard");
    return used_cpu / heard_seconds;
  };
  double heard = 0, gained_heard = 0;
  const double playing = track_cpu(heard);
  // The same with the track's ReplayGain (Track mode, a pre-amp) and the volume slider half way.
  write_gains(program.data_module.Table1, TrackGains{ReplayGain{-6.0, 0.5, std::nullopt, std::nullopt}, std::nullopt, GainSource::Tag});
  ReplayGainOptions::keep({ReplayGainMode::Track, 2.0, true, 0.0, 1.0});
  program.form1.volumeSlider->setValue(50);
  const double gained = track_cpu(gained_heard);
  if (program.player.volume() != static_cast<float>(volume_factor(0.5))) fail("the volume was not applied");
  ReplayGainOptions::keep({});
  program.form1.volumeSlider->setValue(100);

  for (const fs::path& part : album) {
    if (!import_track(program.data_module.Table1, part, false).added()) fail("the album was not imported");
  }
  program.playlist.ResetClick();
  write_setting(program.data_module.Table2, SettingsTable::autoplay, true);
  // The album from track 2, with or without gapless play: CPU seconds per second heard.
  const auto album_cpu = [&](bool gapless, double& heard_seconds) {
    TForm2::set_gapless_playback(gapless);
    program.playlist.playlist().set_cursor(1);
    program.playlist.go_to_track(2);
    const unsigned opens = null.opens();
    program.player_control.PlayClick();
    run_event_loop(0.5);  // past the start of the run, as above
    const uint64_t bytes_from = null.bytes_played();
    const double cpu_before = cpu_seconds();
    run_event_loop(seconds);
    const double used_cpu = cpu_seconds() - cpu_before;
    heard_seconds = static_cast<double>(null.bytes_played() - bytes_from) / (44100 * 4);
    const int32_t last = program.data_module.Table1.record_number();
    program.player_control.StopClick();
    if (last != 4) fail("the album did not play to its last track");
    if (gapless && null.opens() != opens + 1) fail("the album did not play through without a break");
    return used_cpu / heard_seconds;
  };
  double album_heard = 0, runs_heard = 0;
  const double album_playing = album_cpu(true, album_heard);
  const double runs_playing = album_cpu(false, runs_heard);

  std::printf("CPU seconds of the whole program       measured   target   measured/target\n");
  std::printf("  per second of audio, a track plays    %8.5f   %6.3f   %6.3f   (%.1f s heard)\n", playing, 0.01,
              playing / 0.01, heard);
  std::printf("  the same, with ReplayGain and volume   %8.5f   %6.3f   %6.3f   (%.1f s heard)\n", gained, 0.01,
              gained / 0.01, gained_heard);
  std::printf("  with ReplayGain and volume / without  %8.2f\n", gained / playing);
  std::printf("  the same, an album through two joins  %8.5f   %6.3f   %6.3f   (%.1f s heard)\n", album_playing,
              0.01, album_playing / 0.01, album_heard);
  std::printf("  the same, each track a run of its own %8.5f   %6.3f   %6.3f   (%.1f s heard)\n", runs_playing,
              0.01, runs_playing / 0.01, runs_heard);
  std::printf("  album without a break / runs of their own %4.2f\n", album_playing / runs_playing);
  std::printf("  per second, nothing plays             %8.5f   %6.3f   %6.3f\n", idle, 0.001, idle / 0.001);
  std::printf("  the same, a text cursor blinking      %8.5f   %6.3f   %6.3f\n", blinking, 0.001, blinking / 0.001);
  std::printf("  playing / nothing plays               %8.1f\n", idle > 0 ? playing / idle : 0.0);
  return 0;
}

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  char pattern[] = "/tmp/vemla-cpu-bench-XXXXXX";
  if (!::mkdtemp(pattern)) vemla::fail("no temporary folder");
  const std::filesystem::path root = pattern;
  for (const char* folder : {"data", "config", "runtime"}) std::filesystem::create_directory(root / folder);
  ::chmod((root / "runtime").c_str(), 0700);
  ::setenv("VEMLA_HOME", (root / "data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int status = 1;
  try {
    status = vemla::run(argc, argv, root);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "player_cpu_bench: %s\n", error.what());
  }
  std::filesystem::remove_all(root);
  return status;
}
