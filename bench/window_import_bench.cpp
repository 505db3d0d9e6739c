// The import as the window runs it (stepped from a timer, the status bar's progress and the main window's
// controls following each new track) beside the bare import job, on 1,000 copies of a 30-second tagged MP3:
// files per second (median of three runs on a warm cache), and the longest time the window's thread was kept
// from its events (it must stay short, whatever the number of files). Needs lame.
// Run: QT_QPA_PLATFORM=offscreen build/bench/window_import_bench
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "null_device.h"
#include "program.h"
#include "test_signal.h"
#include "track_import.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& text) {
  std::fprintf(stderr, "window_import_bench: %s\n", text.c_str());
  std::exit(1);
}

fs::path copies(const fs::path& root, const fs::path& file, int count) {
  const fs::path folder = root / "in";
  fs::create_directories(folder);
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%05d.mp3", i);
    fs::copy_file(file, folder / name);
  }
  return folder;
}

fs::path new_library(const fs::path& root, const std::string& name) {
  const fs::path folder = root / name;
  fs::create_directories(folder);
  Tdb db(root / "home");
  if (create_library(db, {folder, "Bench"}) != CreateResult::Created)
    fail("cannot create " + folder.string());
  return folder / "Bench.mb";
}

double bare_rate(const fs::path& root, const fs::path& folder, int count, int run) {
  const fs::path library = new_library(root, "bare" + std::to_string(run));
  Tdb db(root / "home");
  open_library(db, split_library_path(library));
  const auto start = Clock::now();
  ImportJob job(db.Table1, {folder}, false);
  if (!run_to_end(job) || job.added() != count) fail("the bare import failed: " + job.error());
  return count / std::chrono::duration<double>(Clock::now() - start).count();
}

struct WindowRun {
  double rate = 0;
  double longest_gap_ms = 0;
};

WindowRun window_rate(Program& program, const fs::path& root, const fs::path& folder, int count, int run) {
  const fs::path library = new_library(root, "window" + std::to_string(run));
  if (!program.library.open_library_file(QString::fromStdString(library.string())))
    fail("cannot open the library");
  // A timer that would run whenever the thread is free: the gaps between its ticks are how long the window
  // waited for its events.
  QElapsedTimer since_tick;
  qint64 longest = 0;
  QTimer ticks;
  ticks.setInterval(0);
  QObject::connect(&ticks, &QTimer::timeout, [&] { longest = std::max(longest, since_tick.restart()); });
  const auto start = Clock::now();
  since_tick.start();
  ticks.start();
  program.tracks.import_paths({QString::fromStdString(folder.string())});
  while (program.work.running()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ticks.stop();
  if (program.data_module.Table1.record_count() != count) fail("the window's import did not add every file");
  return {count / seconds, static_cast<double>(longest)};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  using namespace vemla;
  namespace fs = std::filesystem;
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string pattern = (fs::temp_directory_path() / "vemla-window-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) fail("cannot make a temporary folder");
  const fs::path root = pattern;
  ::setenv("VEMLA_HOME", (root / "home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  QApplication application(argc, argv);

  write_test_signal_wav((root / "signal.wav").string(), 30, 44100, 2);
  const fs::path track = root / "track.mp3";
  const std::string lame =
      "lame --quiet -b 128 --tt 'Benchmark title' --ta 'Artist' --tl 'Album' --add-id3v2 '" +
      (root / "signal.wav").string() + "' '" + track.string() + "'";
  if (std::system(lame.c_str()) != 0 || !fs::exists(track)) fail("lame is needed to make the test file");
  constexpr int kCount = 1000;
  const fs::path folder = copies(root, track, kCount);

  Program program(std::make_unique<NullDevice>(500));
  program.data_module.Table2.open();
  bare_rate(root, folder, kCount, 9);  // warms the cache and the code
  std::vector<double> bare, window, gaps;
  for (int run = 0; run < 3; ++run) {
    bare.push_back(bare_rate(root, folder, kCount, run));
    const WindowRun measured = window_rate(program, root, folder, kCount, run);
    window.push_back(measured.rate);
    gaps.push_back(measured.longest_gap_ms);
  }
  std::printf("import of %d 30-second tagged MP3 files kept on disk (median of 3, warm cache):\n", kCount);
  std::printf("  bare job:         %6.0f files/s\n", median(bare));
  std::printf("  through window:   %6.0f files/s   (ratio window/bare: %.2f)\n", median(window),
              median(window) / median(bare));
  std::printf("  longest wait of the window's events: %.0f ms (median of the runs' longest)\n", median(gaps));
  program.library.set_library_controls(false);
  fs::remove_all(root);
  return 0;
}
