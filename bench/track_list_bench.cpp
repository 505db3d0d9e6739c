// The track list on a large library beside a small one, in one run: how long after opening the library the
// list shows (and how long it did when the whole index was read first), how long until its index is whole and
// the longest wait meanwhile, a keystroke in the search field, sorting by a column, the longest wait while the
// list is scrolled from top to bottom, the longest wait of a delete (one row or several, from the list or the
// window's Track > Delete, the list sorted by title), and the peak memory of the whole program. Each size runs in a process of its own, so
// that its memory is its own; each time is what the window's thread is busy with, painting included.
// Run: QT_QPA_PLATFORM=offscreen build/bench/track_list_bench [LARGE]   (default 100,000 beside 1,000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "program.h"
#include "rows.h"
#include "track_ops.h"
#include "track_list.h"
#include "track_list_model.h"
#include "window_bench.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using bench::busy_ms;
using bench::fail;

// A library of `count` tracks with titles, artists (some with accents), albums, times and a memo on every
// fifth; rows without audio.
fs::path make_library(const fs::path& root, int count) {
  static const char* const kFirst[] = {"Ada", "Björk", "Émile", "Sigur", "Ólafur", "Zoë", "Nils", "Maëlle"};
  static const char* const kLast[] = {"Lindqvist", "Guðmundsdóttir", "Rós", "Arnalds", "Ødegaard", "Brontë"};
  static const char* const kWords[] = {"Morning", "Light", "Blue", "Hour", "Paper", "Boats", "Night", "Market",
                                       "Fugue", "Grey", "Harbour", "Songs", "Café", "Señor", "Über", "Rêve"};
  const std::string missing = (root / ("lib" + std::to_string(count)) / "missing").string();
  return bench::make_library(root, count, [&](Table& tracks, int i) {
    set(tracks, TrackTable::title, std::string(kWords[i % 16]) + " " + kWords[(i / 16) % 16] + " " + std::to_string(i));
    set(tracks, TrackTable::artist, std::string(kFirst[(i / 7) % 8]) + " " + kLast[(i / 3) % 6]);
    set(tracks, TrackTable::album, std::string(kWords[(i / 11) % 16]) + " " + std::to_string(i / 12));
    set(tracks, TrackTable::tracktotal, 60000 + (i * 7919) % 400000);
    set(tracks, TrackTable::bitrate, i % 3 ? "128 kbit/s" : "320 kbit/s");
    set(tracks, TrackTable::samplerate, "44.1 kHz");
    set(tracks, TrackTable::pad, missing + std::to_string(i) + ".mp3");
    if (i % 5 == 0) set(tracks, TrackTable::memo, "recorded live, a favourite of " + std::to_string(i));
    tracks.field_by_position(i % 8).set_boolean(true);
  });
}

struct Result {
  double open = 0, open_whole = 0, built = 0, slice = 0, keystroke = 0, sort = 0, scroll = 0, deletion = 0;
  long peak_kb = 0;
};

// Everything measured in this process, on the library given.
Result measure(const fs::path& library, int count, const fs::path& home) {
  ::setenv("VEMLA_HOME", home.c_str(), 1);
  int argc = 1;
  char name[] = "track_list_bench";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  const std::unique_ptr<Program> owned = bench::make_program();
  Program& program = *owned;
  TForm1& form = program.form1;
  form.show();
  form.resize(1400, 900);  // room for the list
  QCoreApplication::processEvents();
  TrackList& list = *form.TrackList1;
  Result result;
  result.open = busy_ms([&] {
    if (!program.library.open_library_file(QString::fromStdString(library.string()))) fail("cannot open the library");
    program.track_list.sync();
    list.View->viewport()->repaint();
  });
  if (list.model().rowCount() != count)
    fail("the list does not show every track: " + std::to_string(list.model().rowCount()) + " of " + std::to_string(count));
  // The index is read between the window's events: each turn of the loop is a wait the user could feel.
  const auto opened = Clock::now() - std::chrono::duration<double, std::milli>(result.open);
  while (list.model().building()) result.slice = std::max(result.slice, busy_ms([] {}));
  result.built = std::chrono::duration<double, std::milli>(Clock::now() - opened).count();
  // The slowest of the keystrokes that type a search and take it back.
  for (const char* text : {"b", "bj", "bjo", "bjor", "bjork", "bjork ", "bjork m", "bjork mo", "bjork m", "bjork", ""}) {
    result.keystroke = std::max(result.keystroke, busy_ms([&] {
      list.Search->setText(QString::fromUtf8(text));
      list.View->viewport()->repaint();
    }));
  }
  for (int column : {1, 2, 4, 0}) {
    result.sort = std::max(result.sort, busy_ms([&] {
      list.View->sortByColumn(column, Qt::AscendingOrder);
      list.View->viewport()->repaint();
    }));
  }
  QScrollBar* bar = list.View->verticalScrollBar();
  for (int value = 0; value <= bar->maximum(); value += std::max(1, bar->pageStep())) {
    result.scroll = std::max(result.scroll, busy_ms([&] {
      bar->setValue(value);
      list.View->viewport()->repaint();
    }));
  }
  result.scroll = std::max(result.scroll, busy_ms([&] {
    bar->setValue(bar->maximum());
    list.View->viewport()->repaint();
  }));
  // Deletes: the first row, one in the middle, the last, several apart and a run, then the window's own.
  list.View->sortByColumn(1, Qt::AscendingOrder);
  const auto deleted = [&](const std::function<void()>& remove) {
    // The list takes rows that came and went in at most every 300 ms: the wait starts after that.
    std::this_thread::sleep_for(std::chrono::milliseconds(320));
    QCoreApplication::processEvents();
    const int before = program.data_module.Table1.record_count();
    result.deletion = std::max(result.deletion, busy_ms([&] {
      remove();
      list.View->viewport()->repaint();
    }));
    if (list.model().total() >= before) fail("the list did not follow a delete");
  };
  const auto remove = [&](QList<int> records) {
    deleted([&] { program.selection.delete_tracks(records, false); });
  };
  const int half = count / 2;
  remove({1});
  remove({half});
  remove({count - 2});
  remove({2, 3, half / 2, half + 7, half + 8, count - 10});
  remove({half - 20, half - 19, half - 18, half - 17, half - 16, half - 15, half - 14, half - 13});
  deleted([&] {
    go_to_record(program.data_module.Table1, half / 3);
    program.tracks.Delete2Click();
  });
  // As the list opened before it read its index in slices: the whole index first, then the first paint.
  result.open_whole = busy_ms([&] {
    list.model().reload();
    list.model().finish_building();
    list.View->viewport()->repaint();
  });
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  result.peak_kb = usage.ru_maxrss;
  program.library.set_library_controls(false);
  return result;
}

// measure() in a child process of its own; the median of three of each time.
Result measured(const fs::path& library, int count, const fs::path& home) {
  std::vector<Result> runs;
  for (int run = 0; run < 3; ++run) {
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) fail("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
      // The deletes change the library: each run has a copy of its own.
      const fs::path copy = home.parent_path() / "run";
      fs::remove_all(copy);
      fs::copy(library.parent_path(), copy, fs::copy_options::recursive);
      const Result result = measure(copy / library.filename(), count, home);
      (void)!::write(pipe_ends[1], &result, sizeof result);
      ::_exit(0);
    }
    // The write end closed here, a child that fails ends the read instead of leaving it waiting for ever.
    ::close(pipe_ends[1]);
    Result result;
    if (::read(pipe_ends[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result)) fail("a run failed");
    ::waitpid(child, nullptr, 0);
    ::close(pipe_ends[0]);
    runs.push_back(result);
  }
  const auto median = [&](double Result::*field) {
    std::vector<double> values;
    for (const Result& run : runs) values.push_back(run.*field);
    std::sort(values.begin(), values.end());
    return values[1];
  };
  Result result{median(&Result::open),      median(&Result::open_whole), median(&Result::built),
                median(&Result::slice),     median(&Result::keystroke),  median(&Result::sort),
                median(&Result::scroll),    median(&Result::deletion),   0};
  for (const Result& run : runs) result.peak_kb = std::max(result.peak_kb, run.peak_kb);
  return result;
}

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  using namespace vemla;
  namespace fs = std::filesystem;
  const int large = argc > 1 ? std::atoi(argv[1]) : 100000;
  constexpr int kSmall = 1000;
  const fs::path root = bench::scratch_folder("vemla-track-list-bench");
  const fs::path small_library = make_library(root, kSmall);
  const fs::path large_library = make_library(root, large);
  measured(small_library, kSmall, root / "home");  // warms the disk cache
  const Result small = measured(small_library, kSmall, root / "home");
  const Result big = measured(large_library, large, root / "home");
  std::printf("the track list on %d tracks beside %d (median of 3 runs; ms the window's thread is busy):\n", large,
              kSmall);
  const auto line = [](const char* what, double big_ms, double small_ms, double bound) {
    std::printf("  %-34s %8.1f ms  beside %7.1f ms   ratio %6.1f", what, big_ms, small_ms,
                big_ms / std::max(small_ms, 0.001));
    std::printf(bound > 0 ? "   (bound %.0f ms)\n" : "\n", bound);
  };
  line("shown after opening, index first", big.open_whole, small.open_whole, 300);
  line("list shown after opening", big.open, small.open, 300);
  line("index whole after opening", big.built, small.built, 0);
  line("slowest wait while it is read", big.slice, small.slice, 50);
  line("slowest keystroke in the search", big.keystroke, small.keystroke, 50);
  line("slowest sort by a column", big.sort, small.sort, 300);
  line("slowest scroll step, top to bottom", big.scroll, small.scroll, 50);
  line("slowest delete, sorted by title", big.deletion, small.deletion, 0);
  const double big_mb = big.peak_kb / 1024.0, small_mb = small.peak_kb / 1024.0;
  std::printf("  %-34s %8.1f MB  beside %7.1f MB   ratio %6.2f   (bound 1.5 x %.1f + 100 = %.1f MB)\n",
              "peak memory of the program", big_mb, small_mb, big_mb / std::max(small_mb, 0.001), small_mb,
              1.5 * small_mb + 100);
  fs::remove_all(root);
  return 0;
}
