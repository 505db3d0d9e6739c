// The table store: opening and walking a track table of 100,000 rows, moving by +-50,000, appending and
// posting 10,000 rows, and moving, counting and numbering on 10 rows next to 100,000 (the two should cost the
// same), and a library opened as the windows open it, in a folder of its own and beside 10,000 files (the
// folder is settled first, a look at each name in it). Run: build/bench/store_bench
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "data.h"
#include "library_files.h"
#include "rows.h"
#include "schema.h"
#include "store.h"
#include "table.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

fs::path g_folder;

std::string table_of(int rows) {
  return "T" + std::to_string(rows) + ".db";
}

template <typename Kind>
int position_of(Column<Kind> column) {
  const std::vector<ColumnDef> columns = track_columns();
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name == column.name) return static_cast<int>(i);
  }
  return -1;
}

// A track table of n rows. Filled straight through SQL in one transaction: 100,000 posts of their own would
// spend minutes waiting for the disk.
void make_track_table(int rows) {
  Table table(table_of(rows));
  table.set_location(g_folder);
  table.create_table(track_columns());
  SQLite::Database sql(g_folder / table_of(rows), SQLite::OPEN_READWRITE);
  SQLite::Transaction transaction(sql);
  SQLite::Statement insert(sql, "INSERT INTO rows(" + row_column(position_of(TrackTable::title)) + ", " +
                                    row_column(position_of(TrackTable::frametotal)) + ", " +
                                    row_column(position_of(TrackTable::category(1))) + ", " +
                                    row_column(position_of(TrackTable::pad)) + ") VALUES(?, ?, ?, ?)");
  for (int i = 1; i <= rows; ++i) {
    insert.bind(1, "Track number " + std::to_string(i));
    insert.bind(2, i * 7);
    insert.bind(3, i % 3 == 0 ? 1 : 0);
    insert.bind(4, "/music/album/track" + std::to_string(i) + ".mp3");
    insert.exec();
    insert.reset();
  }
  transaction.commit();
}

void open_table(Table& table, int rows) {
  table.set_location(g_folder);
  table.set_table_name(table_of(rows));
  table.set_field_order(track_field_order());
  table.open();
}

void BM_Open(benchmark::State& state) {
  for (auto _ : state) {
    Table table;
    open_table(table, static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(table.record_count());
  }
}
BENCHMARK(BM_Open)->Arg(10)->Arg(100000)->Unit(benchmark::kMillisecond);

// first, then next until the end, reading the title and a category flag of every row.
void BM_WalkReadingFields(benchmark::State& state) {
  Table table;
  open_table(table, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    int64_t sum = 0;
    for (table.first(); !table.at_end(); table.next()) {
      sum += static_cast<int64_t>(get(table, TrackTable::title).size());
      sum += table.field_by_position(0).as_boolean();
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WalkReadingFields)->Arg(100000)->Unit(benchmark::kMillisecond);

// Forward and back by half the table, reading one field after each move.
void BM_MoveByHalf(benchmark::State& state) {
  Table table;
  const int rows = static_cast<int>(state.range(0));
  open_table(table, rows);
  table.first();
  Field title = field(table, TrackTable::title);
  for (auto _ : state) {
    table.move_by(rows / 2);
    benchmark::DoNotOptimize(title.as_text());
    table.move_by(-rows / 2);
    benchmark::DoNotOptimize(title.as_text());
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_MoveByHalf)->Arg(10)->Arg(100000);

// The cursor alone: a move, the record count and the record number, as the playlist lookup uses them.
void BM_MoveCountNumber(benchmark::State& state) {
  Table table;
  const int rows = static_cast<int>(state.range(0));
  open_table(table, rows);
  table.first();
  std::mt19937 random(1);
  std::vector<int> targets(1024);
  for (int& target : targets) target = static_cast<int>(random() % rows) + 1;
  size_t i = 0;
  for (auto _ : state) {
    const int target = targets[i++ % targets.size()];
    table.move_by(target - table.record_number());
    benchmark::DoNotOptimize(table.record_count());
  }
}
BENCHMARK(BM_MoveCountNumber)->Arg(10)->Arg(100000);

// Appends, each posted in a transaction of its own and waiting for the disk: 10,000 rows, and 2,000 rows with
// a memo, whose commit covers both files (more syncs: a super-journal, two journals).
void BM_AppendAndPost(benchmark::State& state) {
  const bool with_memo = state.range(0) != 0;
  const int rows = static_cast<int>(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    const std::string name = with_memo ? "AppendMemo.db" : "Append.db";
    Table table(name);
    table.set_location(g_folder);
    if (fs::exists(g_folder / name)) table.delete_table();
    table.create_table(track_columns());
    table.set_field_order(track_field_order());
    table.open();
    state.ResumeTiming();
    for (int i = 0; i < rows; ++i) {
      table.append();
      set(table, TrackTable::title, "Appended track " + std::to_string(i));
      set(table, TrackTable::frametotal, i);
      table.field_by_position(i % 64).set_boolean(true);
      if (with_memo) set(table, TrackTable::memo, "A comment of track " + std::to_string(i));
      table.post();
    }
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_AppendAndPost)
    ->Args({0, 10000})
    ->Args({1, 2000})
    ->ArgNames({"memo", "rows"})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// library_exists and open_library, as the windows and vemla-library call them, then close: in a folder
// holding only the library, and in one holding 10,000 other files as well.
void BM_OpenLibrary(benchmark::State& state) {
  const int others = static_cast<int>(state.range(0));
  const fs::path folder = g_folder / ("beside" + std::to_string(others));
  fs::create_directories(folder);
  Tdb db(g_folder / "settings");
  const LibraryPath library{folder, "Lib"};
  if (!library_exists(library)) create_library(db, library);
  for (int i = 0; i < others; ++i)
    std::fclose(std::fopen((folder / ("track" + std::to_string(i) + ".mp3")).c_str(), "w"));
  for (auto _ : state) {
    benchmark::DoNotOptimize(library_exists(library));
    open_library(db, library);
    close_library(db);
  }
}
BENCHMARK(BM_OpenLibrary)->Arg(0)->Arg(10000)->Unit(benchmark::kMillisecond);

// Prints, after the usual table, how much the 100,000-row runs cost against the 10-row runs.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n100,000 rows against 10 rows (time ratio):\n");
    for (const char* name : {"BM_Open", "BM_MoveByHalf", "BM_MoveCountNumber"}) {
      const auto small = times_.find(std::string(name) + "/10");
      const auto large = times_.find(std::string(name) + "/100000");
      if (small != times_.end() && large != times_.end() && small->second > 0) {
        std::printf("  %-20s %.2f\n", name, large->second / small->second);
      }
    }
    const auto alone = times_.find("BM_OpenLibrary/0");
    const auto beside = times_.find("BM_OpenLibrary/10000");
    if (alone != times_.end() && beside != times_.end() && alone->second > 0)
      std::printf("\nA library opened beside 10,000 files against alone (time ratio):\n  %-20s %.2f\n",
                  "BM_OpenLibrary", beside->second / alone->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  benchmark::Initialize(&argc, argv);
  vemla::g_folder = fs::temp_directory_path() / ("vemla-store-bench-" + std::to_string(::getpid()));
  fs::create_directories(vemla::g_folder);
  int status = 0;
  try {
    vemla::make_track_table(10);
    vemla::make_track_table(100000);
    vemla::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "store_bench: %s\n", error.what());
    status = 1;
  }
  fs::remove_all(vemla::g_folder);
  benchmark::Shutdown();
  return status;
}
