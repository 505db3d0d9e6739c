// Creating, deleting and copying the files of tables and libraries, and a table wanted by two programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "batch_move.h"
#include "store_support.h"
#include "support.h"
#include "table.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using test::append_track;
using test::title;

// A library with three tracks, the second with a memo and stored audio, and a named category.
void fill_library(const fs::path& folder, const std::string& base) {
  test::create_library(folder, base);
  test::write_text(folder / "audio.mp3", "ID3 audio bytes of " + base);
  Table tracks(base + ".db");
  tracks.set_location(folder);
  tracks.open();
  append_track(tracks, base + " one");
  append_track(tracks, base + " two", "memo of two");
  tracks.edit();
  tracks.field_by_name("DATA").load_from_file(folder / "audio.mp3");
  tracks.post();
  append_track(tracks, base + " three");
  Table categories(base + "1.db");
  categories.set_location(folder);
  categories.open();
  categories.edit();
  categories.field_by_name("C1").set_text("Jazz");
  categories.post();
}

std::vector<std::string> titles_of(const fs::path& folder, const std::string& name) {
  Table tracks(name);
  tracks.set_location(folder);
  tracks.open();
  std::vector<std::string> result;
  for (tracks.first(); !tracks.at_end(); tracks.next()) result.push_back(title(tracks));
  return result;
}

TEST(LibraryFiles, NewLibraryHasItsThreeFilesAndEmptyTables) {
  test::TempDir dir;
  EXPECT_EQ(library_tables("Rock").categories, "Rock1.db");
  EXPECT_EQ(library_tables("Set1").tracks, "Set1.db");
  EXPECT_EQ(library_tables("Set1").categories, "Set11.db");
  test::create_library(dir.path(), "Set1");
  EXPECT_TRUE(fs::exists(dir / "Set1.db"));
  EXPECT_TRUE(fs::exists(dir / "Set1.mb"));
  EXPECT_TRUE(fs::exists(dir / "Set11.db"));
  EXPECT_FALSE(
      fs::exists(dir / "Set11.mb"));  // no memo or blob column: the open dialogs list no second library
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 3u);

  Table categories("Set11.db");
  categories.set_location(dir.path());
  categories.open();
  EXPECT_EQ(categories.record_count(), 0);
  ASSERT_EQ(categories.columns().size(), 65u);
  EXPECT_EQ(categories.columns()[63].name, "C64");
  EXPECT_EQ(categories.columns()[63].size, 40);
  EXPECT_EQ(categories.columns()[64].name, "READONLY");
  EXPECT_FALSE(categories.field_by_name("READONLY").as_boolean());  // no row: false
  categories.edit();                                                // the first stored name begins the row
  categories.field_by_name("C2").set_text(std::string(45, 'n'));
  categories.post();
  EXPECT_EQ(categories.record_count(), 1);
  EXPECT_EQ(categories.field_by_name("C2").as_text(), std::string(40, 'n'));
}

TEST(LibraryFiles, CreateRefusesATableThatExists) {
  // Library Set1's track table is the file library Set would take for its category names.
  test::TempDir dir;
  fill_library(dir.path(), "Set1");
  Table categories("Set1.db");
  categories.set_location(dir.path());
  EXPECT_THROW(categories.create_table(category_columns()), TableError);
  EXPECT_EQ(titles_of(dir.path(), "Set1.db"),
            (std::vector<std::string>{"Set1 one", "Set1 two", "Set1 three"}));

  Table nowhere("X.db");
  nowhere.set_location(dir / "no such folder");
  EXPECT_THROW(nowhere.create_table(track_columns()), TableError);
  Table bad("Bad.db");
  bad.set_location(dir.path());
  EXPECT_THROW(bad.create_table({{"A", ColumnType::Integer, 0}, {"a", ColumnType::Boolean, 0}}), TableError);
  EXPECT_THROW(bad.create_table({}), TableError);
  EXPECT_FALSE(fs::exists(dir / "Bad.db"));
}

TEST(LibraryFiles, DeleteRemovesATableWithItsCompanion) {
  test::TempDir dir;
  fill_library(dir.path(), "Gone");
  Table tracks("Gone.db");
  tracks.set_location(dir.path());
  tracks.delete_table();
  EXPECT_FALSE(fs::exists(dir / "Gone.db"));
  EXPECT_FALSE(fs::exists(dir / "Gone.mb"));
  EXPECT_TRUE(fs::exists(dir / "Gone1.db"));
  Table categories("Gone1.db");
  categories.set_location(dir.path());
  categories.delete_table();
  EXPECT_FALSE(fs::exists(dir / "Gone1.db"));
  EXPECT_THROW(categories.delete_table(), TableError);  // nothing left to delete
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename(), "audio.mp3");
  }
}

TEST(LibraryFiles, ATableInUseIsNeitherDeletedNorReplaced) {
  test::TempDir dir;
  fill_library(dir.path(), "Busy");
  fill_library(dir.path(), "Other");
  set_lock_wait(std::chrono::milliseconds(50));
  Table holder("Busy.db");
  holder.set_location(dir.path());
  holder.open();
  Table busy("Busy.db"), other("Other.db");
  busy.set_location(dir.path());
  other.set_location(dir.path());
  EXPECT_THROW(busy.delete_table(), TableError);
  EXPECT_THROW(busy.open(), TableError);
  EXPECT_THROW(BatchMove().copy(other, busy), TableError);
  EXPECT_THROW(BatchMove().copy(busy, other), TableError);
  holder.close();
  set_lock_wait(std::chrono::milliseconds(3000));
  EXPECT_EQ(titles_of(dir.path(), "Busy.db"),
            (std::vector<std::string>{"Busy one", "Busy two", "Busy three"}));
  EXPECT_EQ(titles_of(dir.path(), "Other.db"),
            (std::vector<std::string>{"Other one", "Other two", "Other three"}));
}

TEST(BatchCopy, CopiesColumnsRowsMemosAndBlobs) {
  test::TempDir source_dir, target_dir;
  fill_library(source_dir.path(), "Lib");
  BatchMove copier;
  for (const char* name : {"Lib.db", "Lib1.db"}) {
    Table source(name), target(name);
    source.set_location(source_dir.path());
    target.set_location(target_dir.path());
    copier.copy(source, target);
  }
  EXPECT_TRUE(fs::exists(target_dir / "Lib.mb"));
  EXPECT_FALSE(fs::exists(target_dir / "Lib1.mb"));
  EXPECT_EQ(titles_of(target_dir.path(), "Lib.db"),
            (std::vector<std::string>{"Lib one", "Lib two", "Lib three"}));
  Table copy("Lib.db");
  copy.set_location(target_dir.path());
  copy.set_field_order(track_field_order());
  copy.open();
  EXPECT_EQ(copy.columns().size(), track_columns().size());
  copy.next();
  EXPECT_EQ(copy.field_by_name("MEMO").as_text(), "memo of two");
  copy.field_by_name("DATA").save_to_file(target_dir / "out.mp3");
  EXPECT_EQ(test::file_text(target_dir / "out.mp3"), "ID3 audio bytes of Lib");
  Table names("Lib1.db");
  names.set_location(target_dir.path());
  names.open();
  EXPECT_EQ(names.field_by_name("C1").as_text(), "Jazz");

  // The copy is a table of its own: changing it leaves the source alone.
  copy.delete_record();
  copy.close();
  EXPECT_EQ(titles_of(source_dir.path(), "Lib.db").size(), 3u);
}

TEST(BatchCopy, ReplacesAnExistingDestinationWhole) {
  test::TempDir dir;
  fs::create_directory(dir / "a");
  fs::create_directory(dir / "b");
  fill_library(dir / "a", "Lib");
  test::create_library(dir / "b", "Lib");
  {
    Table target("Lib.db");
    target.set_location(dir / "b");
    target.open();
    for (int i = 0; i < 5; ++i) append_track(target, "old", "old memo");
  }
  Table source("Lib.db"), target("Lib.db");
  source.set_location(dir / "a");
  target.set_location(dir / "b");
  source.open();  // an open source is copied as last posted
  source.edit();
  source.field_by_name("TITLE").set_text("pending");
  BatchMove().copy(source, target);
  EXPECT_EQ(titles_of(dir / "b", "Lib.db"), (std::vector<std::string>{"Lib one", "Lib two", "Lib three"}));
  source.close();

  // Onto itself, or onto an open table: refused, nothing changed.
  Table same("Lib.db");
  same.set_location(dir / "a" / ".." / "a");
  EXPECT_THROW(BatchMove().copy(source, same), TableError);
  target.open();
  EXPECT_THROW(BatchMove().copy(source, target), TableError);
  EXPECT_EQ(target.record_count(), 3);
  EXPECT_EQ(titles_of(dir / "a", "Lib.db").front(), "pending");
}

TEST(BatchCopy, MoveIsCopyThenDelete) {
  test::TempDir dir;
  fs::create_directory(dir / "from");
  fs::create_directory(dir / "to");
  fill_library(dir / "from", "Moved");
  for (const char* name : {"Moved.db", "Moved1.db"}) {
    Table source(name), target(name);
    source.set_location(dir / "from");
    target.set_location(dir / "to");
    BatchMove().copy(source, target);
    source.delete_table();
  }
  std::vector<std::string> left, arrived;
  for (const auto& entry : fs::directory_iterator(dir / "from")) left.push_back(entry.path().filename());
  for (const auto& entry : fs::directory_iterator(dir / "to")) arrived.push_back(entry.path().filename());
  std::sort(arrived.begin(), arrived.end());
  EXPECT_EQ(left, std::vector<std::string>{"audio.mp3"});
  EXPECT_EQ(arrived, (std::vector<std::string>{"Moved.db", "Moved.mb", "Moved1.db"}));  // no scratch files
  EXPECT_EQ(titles_of(dir / "to", "Moved.db").size(), 3u);
}

TEST(Companion, AMissingOrForeignCompanionIsReported) {
  test::TempDir dir;
  fill_library(dir.path(), "A");
  fill_library(dir.path(), "B");
  fs::rename(dir / "A.mb", dir / "A.mb.away");
  Table tracks("A.db");
  tracks.set_location(dir.path());
  try {
    tracks.open();
    FAIL() << "opened without its memo and blob file";
  } catch (const TableError& error) {
    EXPECT_NE(std::string(error.what()).find("A.mb"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("put it back"), std::string::npos) << error.what();
  }
  // B's values beside A's rows would show the wrong memo and audio for each track.
  fs::copy_file(dir / "B.mb", dir / "A.mb");
  EXPECT_THROW(tracks.open(), TableError);
  fs::remove(dir / "A.mb");
  fs::rename(dir / "A.mb.away", dir / "A.mb");
  tracks.open();
  EXPECT_EQ(tracks.record_count(), 3);
}

TEST(Companion, ADamagedCompanionIsNamedNotTheTable) {
  test::TempDir dir;
  fill_library(dir.path(), "A");
  // Told that A.db is damaged, a user would throw away the rows that are whole.
  for (const std::string& damage :
       {std::string("plain text, no table\n"), std::string(8192, '\x5a'), std::string()}) {
    test::write_text(dir / "A.mb", damage);
    Table tracks("A.db");
    tracks.set_location(dir.path());
    try {
      tracks.open();
      ADD_FAILURE() << "opened with a damaged memo and blob file";
    } catch (const TableError& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find("A.mb is not a table file"), std::string::npos) << text;
    }
  }
}

TEST(OpenTable, ItsFolderDeletedMeanwhileIsSaid) {
  test::TempDir dir;
  const fs::path folder = dir / "Library folder";
  fs::create_directory(folder);
  fill_library(folder, "Gone");
  Table tracks("Gone.db");
  tracks.set_location(folder);
  tracks.open();
  fs::remove_all(folder);
  try {
    tracks.edit();
    tracks.field_by_name("TITLE").set_text("changed");
    tracks.post();
    ADD_FAILURE() << "a change was taken for a table whose files are gone";
  } catch (const TableError& error) {
    EXPECT_NE(std::string(error.what()).find("deleted or moved"), std::string::npos) << error.what();
  }
  tracks.cancel();
  EXPECT_NO_THROW(tracks.close());

  // Only the memo and audio file gone: that is the file named.
  fs::create_directory(folder);
  fill_library(folder, "Half");
  Table half("Half.db");
  half.set_location(folder);
  half.open();
  fs::remove(folder / "Half.mb");
  try {
    half.edit();
    half.field_by_name("MEMO").set_text("changed");
    half.post();
    ADD_FAILURE() << "a memo was taken for a file that is gone";
  } catch (const TableError& error) {
    EXPECT_NE(std::string(error.what()).find("Half.mb was deleted or moved"), std::string::npos)
        << error.what();
  }
  half.cancel();
}

TEST(OpenTable, MissingPartsAreNamedAsDamage) {
  test::TempDir dir;
  // SQLite files of the right kind that lack a part: each is named as damaged, in the file that lacks it.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"A.db", "ALTER TABLE rows DROP COLUMN c3"},
      {"A.db", "DROP TABLE columns"},
      {"A.db", "DROP TABLE rows"},
      {"A.mb", "DROP TABLE v15"},
  };
  for (const auto& [file, damage] : cases) {
    fill_library(dir.path(), "A");
    {
      SQLite::Database db(dir / file, SQLite::OPEN_READWRITE);
      db.exec(damage);
    }
    Table tracks("A.db");
    tracks.set_location(dir.path());
    try {
      tracks.open();
      for (tracks.first(); !tracks.at_end(); tracks.next()) tracks.field_by_name("MEMO").as_text();
      ADD_FAILURE() << "read after " << damage;
    } catch (const TableError& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find(file + " is damaged"), std::string::npos) << damage << ": " << text;
    }
    tracks.close();
    fs::remove(dir / "A.db");
    fs::remove(dir / "A.mb");
    fs::remove(dir / "A1.db");
  }
}

TEST(Companion, ItsDamagedValuesAreNamedAsItsOwn) {
  test::TempDir dir;
  // The page that holds a column's values overwritten: the rows in A.db are whole, A.mb is what to mend.
  for (const std::string& column : {std::string("DATA"), std::string("MEMO")}) {
    fill_library(dir.path(), "A");
    int page = 0;
    {
      SQLite::Database mb(dir / "A.mb", SQLite::OPEN_READONLY);
      page = mb.execAndGet(std::string("SELECT rootpage FROM sqlite_master WHERE name='") +
                           (column == "DATA" ? "v0" : "v15") + "'")
                 .getInt();
    }
    {
      std::fstream file(dir / "A.mb", std::ios::in | std::ios::out | std::ios::binary);
      file.seekp((page - 1) * 4096);
      file << std::string(4096, '\xff');
    }
    Table tracks("A.db");
    tracks.set_location(dir.path());
    tracks.open();
    tracks.move_by(1);
    EXPECT_EQ(title(tracks), "A two");
    try {
      if (column == "DATA") {
        tracks.field_by_name("DATA").save_to_file(dir / "out.mp3");
      } else {
        tracks.field_by_name("MEMO").as_text();
      }
      ADD_FAILURE() << "read a value of a damaged page";
    } catch (const TableError& error) {
      EXPECT_NE(std::string(error.what()).find("A.mb is damaged"), std::string::npos) << error.what();
    }
    tracks.close();
    for (const char* name : {"A.db", "A.mb", "A1.db"}) fs::remove(dir / name);
  }
}

TEST(SecondProgram, WaitsBrieflyThenGetsAClearError) {
  test::TempDir dir;
  fill_library(dir.path(), "Shared");
  int to_child[2], from_child[2];
  ASSERT_EQ(::pipe(to_child), 0);
  ASSERT_EQ(::pipe(from_child), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    Table tracks("Shared.db");
    tracks.set_location(dir.path());
    tracks.open();
    char signal = 'o';
    (void)!::write(from_child[1], &signal, 1);
    (void)!::read(to_child[0], &signal, 1);
    ::_exit(0);
  }
  char signal = 0;
  ASSERT_EQ(::read(from_child[0], &signal, 1), 1);
  set_lock_wait(std::chrono::milliseconds(100));
  for (bool read_only : {false, true}) {
    Table tracks("Shared.db");
    tracks.set_location(dir.path());
    tracks.set_read_only(read_only);
    try {
      tracks.open();
      ADD_FAILURE() << "opened a table another program has open";
    } catch (const TableError& error) {
      EXPECT_NE(std::string(error.what()).find("in use by another program: try again"), std::string::npos)
          << error.what();
    }
  }
  (void)!::write(to_child[1], &signal, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  set_lock_wait(std::chrono::milliseconds(3000));
  EXPECT_EQ(titles_of(dir.path(), "Shared.db").size(), 3u);
}

}  // namespace
}  // namespace vemla
