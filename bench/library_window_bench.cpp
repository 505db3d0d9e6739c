// What the main window does on a large library, beside the same on a small one, in one run: opening it, Reset
// with and without a category filter, Shuffle, Arrange, Next, ticking a category and deleting a track. Each
// is timed as the user waits for it (the handler's whole run on the window's thread); the ratio large/small
// tells what grows with the library. Tracks are rows without audio, written straight into the table at once.
// The last step is an open that fails, of a library another program holds: the window waits that long.
// Run: QT_QPA_PLATFORM=offscreen build/bench/library_window_bench [LARGE]   (default 20,000 beside 1,000)
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "program.h"
#include "rows.h"
#include "window_bench.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

using bench::fail;
using bench::busy_ms;

// A library of `count` tracks, each in one or two of eight categories.
fs::path make_library(const fs::path& root, int count) {
  const std::string missing = (root / ("lib" + std::to_string(count)) / "missing.mp3").string();
  return bench::make_library(root, count, [&](Table& tracks, int i) {
    set(tracks, TrackTable::title, "Track " + std::to_string(i));
    set(tracks, TrackTable::pad, missing);
    tracks.field_by_position(i % 8).set_boolean(true);
    if (i % 3 == 0) tracks.field_by_position((i + 3) % 8).set_boolean(true);
  });
}

// How long the window is kept waiting by an open of a library that another program has open (it fails).
double open_held(Program& program, const fs::path& library) {
  int ready[2], done[2];
  if (::pipe(ready) != 0 || ::pipe(done) != 0) fail("no pipe");
  const pid_t child = ::fork();
  if (child == 0) {
    Tdb other(library.parent_path() / "other-home");
    open_library(other, split_library_path(library));
    char signal = 'o';
    (void)!::write(ready[1], &signal, 1);
    (void)!::read(done[0], &signal, 1);
    ::_exit(0);
  }
  char signal = 0;
  if (::read(ready[0], &signal, 1) != 1) fail("the other program did not open the library");
  const double waited = busy_ms([&] {
    if (program.library.open_library_file(QString::fromStdString(library.string())))
      fail("opened a library another program has open");
  });
  (void)!::write(done[1], &signal, 1);
  ::waitpid(child, nullptr, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
  return waited;
}

// The median of three runs of each step, in the order given.
std::vector<std::pair<std::string, double>> measure(Program& program, const fs::path& library) {
  TForm1& form = program.form1;
  std::map<std::string, std::vector<double>> runs;
  std::vector<std::string> order;
  const auto step = [&](const std::string& name, const std::function<void()>& work) {
    if (runs.find(name) == runs.end()) order.push_back(name);
    runs[name].push_back(busy_ms(work));
  };
  for (int run = 0; run < 3; ++run) {
    step("open", [&] {
      if (!program.library.open_library_file(QString::fromStdString(library.string())))
        fail("cannot open " + library.string());
    });
    step("Reset on a category", [&] {
      form.ComboBox1->setCurrentIndex(3);
      program.playlist.ResetClick();
    });
    step("Reset", [&] {
      form.ComboBox1->setCurrentIndex(0);
      program.playlist.ResetClick();
    });
    step("Shuffle", [&] { program.playlist.ShuffleClick(); });
    step("Arrange", [&] { program.playlist.ArrangeClick(); });
    step("Next", [&] { program.player_control.NextClick(); });
    step("tick a category", [&] { program.playlist.RzCheckList1Changing(5, true); });
    step("delete a track", [&] { program.tracks.Delete2Click(); });
    program.library.set_library_controls(false);
    close_library(program.data_module);
    runs["open, held elsewhere"].push_back(open_held(program, library));
    if (run == 0) order.push_back("open, held elsewhere");
  }
  std::vector<std::pair<std::string, double>> medians;
  for (const std::string& name : order) {
    std::vector<double>& values = runs[name];
    std::sort(values.begin(), values.end());
    medians.emplace_back(name, values[values.size() / 2]);
  }
  return medians;
}

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  using namespace vemla;
  namespace fs = std::filesystem;
  const int large = argc > 1 ? std::atoi(argv[1]) : 20000;
  constexpr int kSmall = 1000;
  const fs::path root = bench::scratch_folder("vemla-library-bench");
  ::setenv("VEMLA_HOME", (root / "home").c_str(), 1);
  QApplication application(argc, argv);

  const fs::path small_library = make_library(root, kSmall);
  const fs::path large_library = make_library(root, large);
  const std::unique_ptr<Program> owned = bench::make_program();
  Program& program = *owned;
  program.playlist.set_arrange_progress_delays(1000000, 1000000, 1000000);  // no window: time the work
  measure(program, small_library);  // warms the cache and the code
  const auto small = measure(program, small_library);
  const auto big = measure(program, large_library);
  std::printf("the main window on %d tracks beside %d (median of 3, ms the window's thread is busy):\n",
              large, kSmall);
  for (size_t i = 0; i < big.size(); ++i) {
    std::printf("  %-22s %8.1f ms  beside %7.1f ms   ratio %6.1f\n", big[i].first.c_str(), big[i].second,
                small[i].second, big[i].second / std::max(small[i].second, 0.001));
  }
  program.library.set_library_controls(false);
  fs::remove_all(root);
  return 0;
}
