// The playlist on large libraries, each beside the same operation on 1,000 tracks: open and reset of 100,000
// tracks (all, and filtered by a category), arrange of 10,000 (tracks in a few random categories, and tracks
// in none, where every search runs to the end of the list), shuffle of 100,000. Prints the median time of a
// few runs and the ratio to the small case. Run: build/bench/playlist_bench
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "playlist.h"
#include "schema.h"
#include "store.h"
#include "table.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

template <typename Kind>
int position_of(Column<Kind> column) {
  const std::vector<ColumnDef> columns = track_columns();
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name == column.name) return static_cast<int>(i);
  }
  return -1;
}

// A track table of n rows with titles and category flags. Filled straight through SQL in one transaction:
// 100,000 posts of their own would spend minutes waiting for the disk.
std::string make_library(const fs::path& folder, int rows, bool categories) {
  const std::string name = "L" + std::to_string(rows) + (categories ? "c" : "n") + ".db";
  Table table(name);
  table.set_location(folder);
  table.create_table(track_columns());
  SQLite::Database sql(folder / name, SQLite::OPEN_READWRITE);
  SQLite::Transaction transaction(sql);
  std::string columns = row_column(position_of(TrackTable::title));
  std::string marks = "?";
  for (int k = 1; k <= 64; ++k) {
    columns += ", " + row_column(position_of(TrackTable::category(k)));
    marks += ", ?";
  }
  SQLite::Statement insert(sql, "INSERT INTO rows(" + columns + ") VALUES(" + marks + ")");
  std::mt19937 random(rows);
  for (int i = 1; i <= rows; ++i) {
    insert.bind(1, "Track number " + std::to_string(i));
    std::vector<int> flags(64, 0);
    if (categories) {
      for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n) flags[random() % 64] = 1;
    }
    for (int k = 0; k < 64; ++k) insert.bind(k + 2, flags[k]);
    insert.exec();
    insert.reset();
  }
  transaction.commit();
  return name;
}

void open_tracks(Table& table, const fs::path& folder, const std::string& name) {
  table.set_location(folder);
  table.set_table_name(name);
  table.set_field_order(track_field_order());
  table.open();
}

// Median seconds of `runs` calls of work; setup runs before each call, untimed.
double median(int runs, const std::function<void()>& setup, const std::function<void()>& work) {
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    setup();
    const auto start = Clock::now();
    work();
    seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

void report(const char* what, int large, double large_s, int small, double small_s, double target_s) {
  std::printf("%-34s %7d: %9.3f ms   %5d: %8.3f ms   ratio %7.1f   (target under %.0f ms)\n", what, large,
              large_s * 1e3, small, small_s * 1e3, large_s / small_s, target_s * 1e3);
}

Draw clock_draw() {
  auto generator = std::make_shared<std::mt19937>(static_cast<unsigned>(Clock::now().time_since_epoch().count()));
  return [generator](uint32_t count) { return std::uniform_int_distribution<uint32_t>(0, count - 1)(*generator); };
}

double open_and_reset(const fs::path& folder, const std::string& name, int filter) {
  return median(5, [] {}, [&] {
    Table tracks;
    open_tracks(tracks, folder, name);
    Playlist playlist(tracks);
    playlist.set_filter(filter);
    playlist.reset();
  });
}

double arrange(const fs::path& folder, const std::string& name) {
  Table tracks;
  open_tracks(tracks, folder, name);
  Playlist playlist(tracks);
  return median(5, [&] { playlist.reset(); }, [&] { playlist.arrange(clock_draw()); });
}

double shuffle(const fs::path& folder, const std::string& name) {
  Table tracks;
  open_tracks(tracks, folder, name);
  Playlist playlist(tracks);
  playlist.reset();
  return median(9, [] {}, [&] { playlist.shuffle(clock_draw()); });
}

int run() {
  const fs::path folder = fs::temp_directory_path() / ("vemla-playlist-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  struct Cleanup {
    fs::path folder;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(folder, ignored);
    }
  } cleanup{folder};

  const std::string big = make_library(folder, 100000, true);
  const std::string mid = make_library(folder, 10000, true);
  const std::string mid_bare = make_library(folder, 10000, false);
  const std::string small = make_library(folder, 1000, true);
  const std::string small_bare = make_library(folder, 1000, false);

  report("open + Reset, all", 100000, open_and_reset(folder, big, 0), 1000, open_and_reset(folder, small, 0), 1.0);
  report("open + Reset, category 5", 100000, open_and_reset(folder, big, 5), 1000,
         open_and_reset(folder, small, 5), 1.0);
  report("Arrange, 1-3 categories a track", 10000, arrange(folder, mid), 1000, arrange(folder, small), 1.0);
  report("Arrange, no categories", 10000, arrange(folder, mid_bare), 1000, arrange(folder, small_bare), 1.0);
  report("Shuffle", 100000, shuffle(folder, big), 1000, shuffle(folder, small), 0.05);
  return 0;
}

}  // namespace
}  // namespace vemla

int main() {
  return vemla::run();
}
