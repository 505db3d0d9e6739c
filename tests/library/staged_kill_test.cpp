// A library copied, moved, created or deleted by a program killed at any step is, once its folders are
// settled, either whole or not there at all, and the source of a move is whole until the destination is.
// The kills fall on the fault points of staged_files.h, in a child process, one step further each round.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "data.h"
#include "library_copy.h"
#include "library_files.h"
#include "rows.h"
#include "staged_files.h"
#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

int g_kill_at = -1;
int g_steps = 0;

void kill_at_step(const char*) {
  if (g_steps++ == g_kill_at) ::raise(SIGKILL);
}

// Runs work in a child that is killed at its fault point number k (from 0); false when the work ended
// before that point (or failed).
bool killed_at(int k, const std::function<void()>& work) {
  const pid_t child = ::fork();
  if (child == 0) {
    g_kill_at = k;
    set_stage_fault_point(kill_at_step);
    try {
      work();
    } catch (...) {
      ::_exit(98);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) {
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the work failed at step " << k;
  }
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::vector<std::string> titles_of(const LibraryPath& library) {
  Table tracks(library_tables(library.base).tracks);
  tracks.set_location(library.folder);
  tracks.open();
  std::vector<std::string> result;
  for (tracks.first(); !tracks.at_end(); tracks.next()) result.push_back(test::title(tracks));
  Table categories(library_tables(library.base).categories);
  categories.set_location(library.folder);
  categories.open();
  result.push_back(category_name(categories, 1));
  return result;
}

// A library whose copy takes several steps: a stored track of 1 MB beside tracks with memos.
std::vector<std::string> fill_library(const LibraryPath& library, const std::string& words) {
  test::create_library(library.folder, library.base);
  {
    Table tracks(library_tables(library.base).tracks);
    tracks.set_location(library.folder);
    tracks.open();
    for (int i = 1; i <= 3; ++i)
      test::append_track(tracks, words + " " + std::to_string(i), "memo of " + words);
    const fs::path audio = library.folder / "audio.bin";
    test::write_text(audio, std::string(1 << 20, 'a'));
    tracks.first();
    tracks.edit();
    field(tracks, TrackTable::data).load_from_file(audio);
    tracks.post();
    fs::remove(audio);
    Table categories(library_tables(library.base).categories);
    categories.set_location(library.folder);
    categories.open();
    categories.edit();
    set(categories, CategoryTable::name(1), words);
    categories.post();
  }
  return titles_of(library);
}

// The names in the folder other than `kept`.
std::vector<std::string> others_in(const fs::path& folder, const std::vector<std::string>& kept = {}) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (std::find(kept.begin(), kept.end(), name) == kept.end()) names.push_back(name);
  }
  return names;
}

const std::vector<std::string> kSetFiles = {"Set.db", "Set.mb", "Set1.db"};

// Settles the folder and tells whether the library is whole (with these titles) or absent; anything else,
// a part of it or a stage left behind, fails the test.
enum class Found { Whole, None, Other };
Found settled(const LibraryPath& library, const std::vector<std::string>& titles) {
  if (!library_exists(library)) {
    EXPECT_EQ(others_in(library.folder), std::vector<std::string>{}) << "a part of the library is left";
    return Found::None;
  }
  EXPECT_EQ(others_in(library.folder, kSetFiles), std::vector<std::string>{})
      << "a stage or scratch file is left";
  EXPECT_EQ(titles_of(library), titles);
  return titles_of(library) == titles ? Found::Whole : Found::Other;
}

class StagedKill : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "from");
    fs::create_directories(dir / "to");
    titles = fill_library(source, "Source");
  }

  test::TempDir dir;
  const LibraryPath source{dir / "from", "Set"};
  const LibraryPath target{dir / "to", "Set"};
  std::vector<std::string> titles;
};

// Killed while copying pages too, before any fault point: the job's steps also count as points.
void run_copy(const LibraryPath& source, const fs::path& destination, CopyKind kind, bool replace) {
  CopyJob job(source, destination, kind, replace);
  job.set_budget(std::chrono::milliseconds(0));
  while (job.step()) kill_at_step("copying");
  if (!job.error().empty()) throw TableError(job.error());
}

TEST_F(StagedKill, ACopyKilledAtAnyStepLeavesAllOrNothing) {
  int wholes = 0, nones = 0;
  for (int k = 0;; ++k) {
    SCOPED_TRACE("killed at step " + std::to_string(k));
    const bool killed = killed_at(k, [&] { run_copy(source, dir / "to", CopyKind::Copy, false); });
    const Found found = settled(target, titles);
    EXPECT_NE(found, Found::Other);
    EXPECT_EQ(titles_of(source), titles);
    (found == Found::Whole ? wholes : nones) += 1;
    if (!killed) break;
    if (found == Found::Whole) delete_library(target);
  }
  EXPECT_GT(nones, 3);   // killed while copying and before the copy was decided
  EXPECT_GT(wholes, 3);  // killed between the renames and after them
}

TEST_F(StagedKill, AReplacingCopyKilledLeavesTheOldLibraryOrTheNew) {
  const std::vector<std::string> old_titles = fill_library(target, "Old");
  int olds = 0, news = 0;
  for (int k = 0;; ++k) {
    SCOPED_TRACE("killed at step " + std::to_string(k));
    const bool killed = killed_at(k, [&] { run_copy(source, dir / "to", CopyKind::Copy, true); });
    ASSERT_TRUE(library_exists(target));
    const std::vector<std::string> found = titles_of(target);
    EXPECT_TRUE(found == old_titles || found == titles) << found.front();
    EXPECT_EQ(others_in(target.folder, kSetFiles), std::vector<std::string>{});
    (found == titles ? news : olds) += 1;
    if (!killed) break;
    if (found == titles) {
      delete_library(target);
      fill_library(target, "Old");
    }
  }
  EXPECT_GT(olds, 3);
  EXPECT_GT(news, 3);
}

TEST_F(StagedKill, AMoveKilledKeepsTheSourceUntilTheDestinationIsWhole) {
  for (int k = 0;; ++k) {
    SCOPED_TRACE("killed at step " + std::to_string(k));
    const bool killed = killed_at(k, [&] { run_copy(source, dir / "to", CopyKind::Move, false); });
    const Found there = settled(target, titles);
    const Found here = settled(source, titles);
    EXPECT_NE(there, Found::Other);
    EXPECT_NE(here, Found::Other);
    EXPECT_FALSE(there == Found::None && here == Found::None) << "the library is lost";
    if (!killed) {
      EXPECT_EQ(here, Found::None);
      break;
    }
    // A move after the kill finds what the killed one left and goes on from there.
    if (here == Found::Whole) {
      if (there == Found::Whole) delete_library(target);
    } else {
      CopyJob back(target, dir / "from", CopyKind::Move, false);
      ASSERT_TRUE(run_to_end(back)) << back.error();
    }
  }
}

TEST_F(StagedKill, CreateAndDeleteKilledLeaveAllOrNothing) {
  const LibraryPath created{dir / "to", "Set"};
  const fs::path settings = dir / "settings";
  for (int k = 0;; ++k) {
    SCOPED_TRACE("create killed at step " + std::to_string(k));
    const bool killed = killed_at(k, [&] {
      Tdb db(settings);
      create_library(db, created);
    });
    const Found found = settled(created, {""});
    EXPECT_NE(found, Found::Other);
    if (!killed) break;
    if (found == Found::Whole) delete_library(created);
  }
  for (int k = 0;; ++k) {
    SCOPED_TRACE("delete killed at step " + std::to_string(k));
    const bool killed = killed_at(k, [&] { delete_library(source); });
    const Found found = settled(source, titles);
    EXPECT_NE(found, Found::Other);
    if (!killed) {
      EXPECT_EQ(found, Found::None);
      break;
    }
    if (found == Found::None) fill_library(source, "Source");
  }
}

// Stages and scratch files whose program lives are not touched; those of programs gone are.
TEST(SettleFolder, RemovesOnlyWhatProgramsThatAreGoneLeft) {
  test::TempDir dir;
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = std::to_string(gone), alive = std::to_string(::getppid());
  for (const std::string& name : std::vector<std::string>{
           ".Set.db.new-" + dead + "-0", ".Set.mb.new-" + dead + "-1", ".Set.db.new-" + dead + "-0-journal",
           ".Set.db.new-" + alive + "-0", ".Set.db.new-x-0", "Set.db.new-" + dead + "-0", ".notes.txt"})
    test::write_text(dir.path() / name, "x");
  StagedFiles live(dir.path());
  test::write_text(live.path("Set.db"), "being built");
  settle_folder(dir.path());
  std::vector<std::string> left = others_in(dir.path());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".Set.db.new-" + alive + "-0", ".Set.db.new-x-0", ".notes.txt",
                                            live.stage().filename().string(), "Set.db.new-" + dead + "-0"}));
  EXPECT_TRUE(fs::exists(live.path("Set.db")));
  live.commit({"Set.db"});
  EXPECT_EQ(test::file_text(dir.path() / "Set.db"), "being built");
}

}  // namespace
}  // namespace vemla
