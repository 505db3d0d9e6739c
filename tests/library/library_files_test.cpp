// Whole libraries: naming, create, open with the read-only rule, delete, and copy and move as jobs.
#include "library_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "data.h"
#include "library_copy.h"
#include "settings_location.h"
#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using test::append_track;
using test::title;

std::vector<std::string> titles_of(const LibraryPath& library) {
  Table tracks(library_tables(library.base).tracks);
  tracks.set_location(library.folder);
  tracks.open();
  std::vector<std::string> result;
  for (tracks.first(); !tracks.at_end(); tracks.next()) result.push_back(title(tracks));
  return result;
}

// A library of three tracks, one with a memo.
LibraryPath filled_library(const fs::path& folder, const std::string& base) {
  test::create_library(folder, base);
  Table tracks(library_tables(base).tracks);
  tracks.set_location(folder);
  tracks.open();
  append_track(tracks, base + " one");
  append_track(tracks, base + " two", "a memo");
  append_track(tracks, base + " three");
  return {folder, base};
}

void set_library_read_only(const LibraryPath& library, bool read_only) {
  Table categories(library_tables(library.base).categories);
  categories.set_location(library.folder);
  categories.open();
  categories.edit();
  categories.field_by_name("READONLY").set_boolean(read_only);
  categories.post();
}

size_t files_in(const fs::path& folder) {
  size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) count += entry.is_regular_file() ? 1 : 0;
  return count;
}

TEST(LibraryPath, SplitsAChosenFileIntoFolderAndBaseName) {
  const LibraryPath set = split_library_path("/music/Lib/Set.mb");
  EXPECT_EQ(set.folder, "/music/Lib");
  EXPECT_EQ(set.base, "Set");
  EXPECT_EQ(split_library_path("/music/Lib/Set").base, "Set");  // no extension: the whole last part
  EXPECT_EQ(split_library_path("/music/Lib/My.Set.mb").base, "My.Set");
  EXPECT_EQ(split_library_path("/Set.mb").folder, "/");
  EXPECT_EQ(split_library_path("Set.mb").folder, fs::current_path());  // no folder: the current one
  const LibraryPath ends_in_one{"/lib", "Set1"};
  EXPECT_EQ(ends_in_one.tracks(), "/lib/Set1.db");
  EXPECT_EQ(ends_in_one.store(), "/lib/Set1.mb");
  EXPECT_EQ(ends_in_one.categories(), "/lib/Set11.db");
}

class LibraryInDataModule : public ::testing::Test {
 protected:
  test::TempDir dir;
  Tdb db{dir / "settings"};
};

TEST_F(LibraryInDataModule, NewCreatesItsFilesAndOpensThemEmpty) {
  const LibraryPath set{dir.path(), "Set"};
  ASSERT_EQ(create_library(db, set), CreateResult::Created);
  EXPECT_TRUE(fs::exists(dir / "Set.db"));
  EXPECT_TRUE(fs::exists(dir / "Set.mb"));
  EXPECT_TRUE(fs::exists(dir / "Set1.db"));
  ASSERT_TRUE(db.Table1.is_open() && db.Table3.is_open());
  EXPECT_EQ(db.Table1.record_count(), 0);
  EXPECT_EQ(db.Table3.record_count(), 0);
  EXPECT_EQ(db.Table1.field_by_name("PAD").size(), kPadWidth);
  EXPECT_FALSE(db.Table1.read_only());
}

TEST_F(LibraryInDataModule, NewLeavesAnExistingLibraryAndTheOpenOneAlone) {
  const LibraryPath old = filled_library(dir.path(), "Old");
  open_library(db, old);
  EXPECT_EQ(create_library(db, old), CreateResult::Exists);
  EXPECT_EQ(create_library(db, {dir.path(), ""}), CreateResult::NoName);
  EXPECT_THROW(create_library(db, {dir.path(), "a/b"}), TableError);
  // A category-name table left alone refuses the new library before anything is made.
  test::write_text(dir / "Lone1.db", "not a table");
  EXPECT_THROW(create_library(db, {dir.path(), "Lone"}), TableError);
  EXPECT_FALSE(fs::exists(dir / "Lone.db"));
  EXPECT_FALSE(fs::exists(dir / "Lone.mb"));
  EXPECT_THROW(create_library(db, {dir / "missing", "New"}), TableError);
  ASSERT_TRUE(db.Table1.is_open());
  EXPECT_EQ(db.Table1.record_count(), 3);
  EXPECT_EQ(db.Table1.location(), dir.path());
}

TEST_F(LibraryInDataModule, ALongNameIsMadeOrRefusedUpFront) {
  // The longest name whose files and their journals fit a folder's 255-byte names is made and takes a track
  // with its audio stored (a commit over both files, with a journal named after the track table).
  const LibraryPath longest{dir.path(), std::string(max_library_name(dir.path()), 'n')};
  ASSERT_EQ(longest.base.size(), 240u);
  ASSERT_EQ(create_library(db, longest), CreateResult::Created);
  test::write_text(dir / "audio.mp3", "audio bytes");
  db.Table1.append();
  db.Table1.field_by_name("DATA").load_from_file(dir / "audio.mp3");
  db.Table1.post();
  db.Table3.edit();
  db.Table3.field_by_name("C1").set_text("Jazz");
  db.Table3.post();
  close_library(db);
  open_library(db, longest);
  EXPECT_EQ(db.Table1.record_count(), 1);
  // One byte more would make a library that no change can be written to: refused, with nothing made.
  const LibraryPath longer{dir.path(), std::string(241, 'm')};
  try {
    create_library(db, longer);
    ADD_FAILURE() << "a library was made whose journals cannot be";
  } catch (const TableError& error) {
    EXPECT_NE(std::string(error.what()).find("too long"), std::string::npos) << error.what();
  }
  EXPECT_FALSE(fs::exists(longer.tracks()));
  EXPECT_EQ(db.Table1.record_count(), 1);
}

TEST_F(LibraryInDataModule, ANameWhoseFilesAreAnothersIsRefused) {
  // Rock's category names are Rock1.db, which a library "Rock1" would take for its track table.
  const LibraryPath rock = filled_library(dir.path(), "Rock");
  for (const std::string& name : {std::string("Rock1"), std::string("Pop")}) {
    if (name == "Pop") test::create_library(dir.path(), "Pop1");  // Pop's category names would be its tracks
    try {
      create_library(db, {dir.path(), name});
      ADD_FAILURE() << name << " was taken for an existing library";
    } catch (const TableError& error) {
      EXPECT_NE(std::string(error.what()).find("cannot be beside it"), std::string::npos) << error.what();
    }
  }
  EXPECT_FALSE(fs::exists(dir / "Pop.db"));
  EXPECT_EQ(titles_of(rock).size(), 3u);
  // A library of that very name is left alone, as before.
  EXPECT_EQ(create_library(db, rock), CreateResult::Exists);
}

TEST_F(LibraryInDataModule, OpenFollowsTheLibrarysReadOnlyFlag) {
  db.Table2.open();
  const LibraryPath locked = filled_library(dir.path(), "Locked");
  const LibraryPath open = filled_library(dir.path(), "Open");
  set_library_read_only(locked, true);

  open_library(db, locked);
  EXPECT_TRUE(db.Table1.read_only());
  EXPECT_TRUE(db.Table3.read_only());
  EXPECT_TRUE(db.Table2.field_by_name("READONLY").as_boolean());
  EXPECT_THROW(db.Table1.delete_record(), TableError);
  EXPECT_THROW(db.Table1.edit(), TableError);

  open_library(db, open);  // the next library in the same run is writable again
  EXPECT_FALSE(db.Table1.read_only());
  EXPECT_FALSE(db.Table3.read_only());
  EXPECT_FALSE(db.Table2.field_by_name("READONLY").as_boolean());
  db.Table1.delete_record();
  EXPECT_EQ(db.Table1.record_count(), 2);
}

TEST_F(LibraryInDataModule, OpenStopsAtAMissingCategoryTable) {
  const LibraryPath half = filled_library(dir.path(), "Half");
  fs::remove(half.categories());
  EXPECT_THROW(open_library(db, half), TableError);
  EXPECT_TRUE(db.Table1.is_open());  // what was opened stays open
  EXPECT_FALSE(db.Table3.is_open());
  EXPECT_FALSE(db.Table2.is_open());  // the settings are not touched while closed
  close_library(db);
  EXPECT_FALSE(db.Table1.is_open());
}

// SQLite would wait for ever reading a pipe: a library file that is no plain file is refused before it is
// read.
TEST_F(LibraryInDataModule, OddFilesAreRefusedUnread) {
  const LibraryPath piped = filled_library(dir.path(), "Piped");
  const LibraryPath folder = filled_library(dir.path(), "Folder");
  for (const fs::path& file : {piped.store(), piped.tracks()}) {
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    for (const auto& check : {std::function<void()>([&] { open_library(db, piped); }),
                              std::function<void()>([&] { check_library_opens(piped); })}) {
      try {
        check();
        ADD_FAILURE() << file;
      } catch (const TableError& error) {
        EXPECT_EQ(std::string(error.what()), file.string() + " is not a regular file");
      }
    }
  }
  fs::remove(folder.categories());
  fs::create_directory(folder.categories());
  EXPECT_THROW(check_library_opens(folder), TableError);
  EXPECT_NO_THROW(check_library_not_in_use(piped));  // a pipe is no one's table: it may go
  check_library_opens(filled_library(dir.path(), "Plain"));
  EXPECT_FALSE(db.Table1.is_open());  // a check opens nothing in the data module
}

TEST_F(LibraryInDataModule, ClosePostsAPendingEdit) {
  const LibraryPath set = filled_library(dir.path(), "Set");
  open_library(db, set);
  db.data.write_text("TITLE", "edited");
  close_library(db);
  EXPECT_EQ(titles_of(set)[0], "edited");
}

TEST(DeleteLibrary, RemovesItsThreeFiles) {
  test::TempDir dir;
  const LibraryPath gone = filled_library(dir.path(), "Gone");
  filled_library(dir.path(), "Kept");
  delete_library(gone);
  EXPECT_FALSE(library_exists(gone));
  EXPECT_EQ(files_in(dir.path()), 3u);  // Kept's
  EXPECT_THROW(delete_library(gone), TableError);

  const LibraryPath half = filled_library(dir.path(), "Half");
  fs::remove(half.categories());
  delete_library(half);  // its track table goes all the same
  EXPECT_EQ(files_in(dir.path()), 3u);
}

TEST(DeleteLibrary, ALibraryInUseIsLeftWhole) {
  test::TempDir dir;
  const LibraryPath busy = filled_library(dir.path(), "Busy");
  set_lock_wait(std::chrono::milliseconds(50));
  {
    Table holder("Busy.db");
    holder.set_location(dir.path());
    holder.open();
    EXPECT_THROW(delete_library(busy), TableError);
  }
  set_lock_wait(std::chrono::milliseconds(3000));
  EXPECT_EQ(files_in(dir.path()), 3u);
  EXPECT_EQ(titles_of(busy).size(), 3u);
}

class CopyLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(dir / "from");
    fs::create_directory(dir / "to");
    source = filled_library(dir / "from", "Set");
  }
  test::TempDir dir;
  LibraryPath source;
};

TEST_F(CopyLibrary, CopyMakesBothTablesInTheDestination) {
  CopyJob job(source, dir / "to", CopyKind::Copy, false);
  job.set_budget(std::chrono::milliseconds(0));
  EXPECT_EQ(job.progress().done, 0);
  EXPECT_GT(job.progress().total, 0);
  ASSERT_TRUE(run_to_end(job));
  EXPECT_EQ(job.progress().done, job.progress().total);
  const LibraryPath copy{dir / "to", "Set"};
  EXPECT_EQ(titles_of(copy), (std::vector<std::string>{"Set one", "Set two", "Set three"}));
  EXPECT_EQ(titles_of(source).size(), 3u);
  EXPECT_EQ(files_in(dir / "to"), 3u);
  // Both open, side by side: the copies are a pair of their own.
  Table copied_categories("Set1.db");
  copied_categories.set_location(dir / "to");
  copied_categories.open();
}

TEST_F(CopyLibrary, MoveDeletesTheSourceOnlyOnceTheCopyIsWhole) {
  CopyJob job(source, dir / "to", CopyKind::Move, false);
  job.set_budget(std::chrono::milliseconds(0));
  int steps = 0;
  while (job.step()) {
    ++steps;
    EXPECT_TRUE(library_exists(source));
  }
  EXPECT_TRUE(job.error().empty()) << job.error();
  EXPECT_FALSE(library_exists(source));
  EXPECT_EQ(files_in(dir / "from"), 0u);
  EXPECT_EQ(titles_of({dir / "to", "Set"}).size(), 3u);
}

TEST_F(CopyLibrary, RefusesItsOwnFolderAndAnExistingLibrary) {
  EXPECT_THROW(CopyJob(source, dir / "from", CopyKind::Move, true), TableError);
  EXPECT_THROW(CopyJob(source, dir / "to" / ".." / "from", CopyKind::Copy, true), TableError);
  EXPECT_THROW(CopyJob(source, dir / "nowhere", CopyKind::Copy, true), TableError);
  EXPECT_THROW(CopyJob({dir / "from", "None"}, dir / "to", CopyKind::Copy, true), TableError);
  filled_library(dir / "to", "Set");
  {
    Table tracks("Set.db");
    tracks.set_location(dir / "to");
    tracks.open();
    append_track(tracks, "only in the destination");
  }
  EXPECT_THROW(CopyJob(source, dir / "to", CopyKind::Copy, false), TableError);
  EXPECT_EQ(titles_of({dir / "to", "Set"}).size(), 4u);
  CopyJob replace(source, dir / "to", CopyKind::Copy, true);
  ASSERT_TRUE(run_to_end(replace));
  EXPECT_EQ(titles_of({dir / "to", "Set"}).size(), 3u);
  // "Set1" replaced beside "Set" would be its tracks in place of Set's category names.
  fs::create_directory(dir / "other");
  const LibraryPath set1 = filled_library(dir / "other", "Set1");
  EXPECT_THROW(CopyJob(set1, dir / "to", CopyKind::Copy, true), TableError);
  Table categories("Set1.db");
  categories.set_location(dir / "to");
  categories.open();
  EXPECT_EQ(categories.record_count(), 0);  // still Set's category names, not Set1's three tracks
}

TEST_F(CopyLibrary, CancelLeavesEverythingAsItWas) {
  {
    CopyJob job(source, dir / "to", CopyKind::Move, false);
    job.cancel();
    EXPECT_FALSE(job.step());
    EXPECT_TRUE(job.cancelled());
    EXPECT_FALSE(run_to_end(job));
  }
  EXPECT_EQ(files_in(dir / "to"), 0u);  // no scratch files either
  EXPECT_EQ(titles_of(source).size(), 3u);
}

// /proc takes no new files, not even from root: it stands for a read-only or full destination.
TEST_F(CopyLibrary, ADestinationThatTakesNoFileIsNamed) {
  if (!fs::is_directory("/proc/self")) GTEST_SKIP() << "no /proc";
  std::string error;
  try {
    CopyJob job(source, "/proc/self", CopyKind::Move, false);
    run_to_end(job);
    error = job.error();
  } catch (const TableError& e) {
    error = e.what();
  }
  EXPECT_EQ(error.rfind("Cannot write in the folder /proc/self: ", 0), 0u) << error;
  EXPECT_EQ(titles_of(source).size(), 3u);
}

TEST_F(CopyLibrary, AMoveOntoALibraryInUseKeepsTheSource) {
  filled_library(dir / "to", "Set");
  set_lock_wait(std::chrono::milliseconds(50));
  Table holder("Set.db");
  holder.set_location(dir / "to");
  holder.open();
  CopyJob job(source, dir / "to", CopyKind::Move, true);
  EXPECT_FALSE(run_to_end(job));
  EXPECT_NE(job.error().find("in use"), std::string::npos) << job.error();
  holder.close();
  set_lock_wait(std::chrono::milliseconds(3000));
  EXPECT_EQ(titles_of(source).size(), 3u);
  EXPECT_EQ(files_in(dir / "to"), 3u);
}

}  // namespace
}  // namespace vemla
