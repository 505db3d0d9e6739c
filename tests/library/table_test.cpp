// The cursor, edit mode and field values of the table engine.
#include "table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

using test::append_track;
using test::title;

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::create_library(dir.path(), "Lib");
    test::name_table(tracks, dir.path(), "Lib.db");
    tracks.open();
  }
  void fill(int rows) {
    for (int i = 1; i <= rows; ++i) append_track(tracks, "t" + std::to_string(i));
  }
  std::vector<std::string> titles() {
    std::vector<std::string> result;
    for (tracks.first(); !tracks.at_end(); tracks.next()) result.push_back(title(tracks));
    return result;
  }
  void reopen() {
    tracks.close();
    tracks.open();
  }

  test::TempDir dir;
  Table tracks;
};

TEST_F(TableTest, EmptyTableIsAtBothEndsAndRefusesDelete) {
  EXPECT_EQ(tracks.record_count(), 0);
  EXPECT_TRUE(tracks.at_beginning());
  EXPECT_TRUE(tracks.at_end());
  EXPECT_EQ(tracks.record_number(), 0);
  tracks.next();
  EXPECT_EQ(tracks.move_by(5), 0);
  EXPECT_TRUE(tracks.at_beginning() && tracks.at_end());
  EXPECT_THROW(tracks.delete_record(), TableError);
  EXPECT_TRUE(tracks.field_by_name("TITLE").is_empty());
  tracks.close();
  EXPECT_THROW(tracks.record_count(), TableError);
  EXPECT_THROW(tracks.first(), TableError);
  tracks.close();  // closing a closed table does nothing
  tracks.open();
  tracks.open();  // nor does opening an open one
  EXPECT_EQ(tracks.record_count(), 0);
}

TEST_F(TableTest, CursorWalksTheRowsInTheOrderTheyWereAdded) {
  fill(5);
  EXPECT_EQ(titles(), (std::vector<std::string>{"t1", "t2", "t3", "t4", "t5"}));

  tracks.first();
  EXPECT_TRUE(tracks.at_beginning());
  EXPECT_FALSE(tracks.at_end());
  EXPECT_EQ(tracks.record_number(), 1);
  EXPECT_EQ(tracks.move_by(4), 4);
  EXPECT_EQ(tracks.record_number(), 5);
  EXPECT_FALSE(tracks.at_end());  // on the last row, not past it
  tracks.next();
  EXPECT_TRUE(tracks.at_end());
  EXPECT_EQ(tracks.record_number(), 5);
  EXPECT_EQ(title(tracks), "t5");

  EXPECT_EQ(tracks.move_by(-2), -2);
  EXPECT_EQ(title(tracks), "t3");
  EXPECT_FALSE(tracks.at_end());
  EXPECT_EQ(tracks.move_by(-10), -2);  // stops on the first row
  EXPECT_TRUE(tracks.at_beginning());
  EXPECT_EQ(tracks.move_by(-1), 0);
  EXPECT_EQ(tracks.move_by(10), 4);
  EXPECT_TRUE(tracks.at_end());
  EXPECT_EQ(tracks.move_by(1), 0);
  EXPECT_EQ(tracks.record_number(), 5);

  // The move of the playlist lookup: by the difference to the current record number.
  tracks.move_by(2 - tracks.record_number());
  EXPECT_EQ(title(tracks), "t2");
}

TEST_F(TableTest, DeletingARowClosesTheGap) {
  fill(5);
  tracks.first();
  tracks.move_by(2);
  tracks.delete_record();
  EXPECT_EQ(tracks.record_count(), 4);
  EXPECT_EQ(tracks.record_number(), 3);
  EXPECT_EQ(title(tracks), "t4");
  tracks.move_by(10);
  tracks.delete_record();  // the last row: the row before becomes current
  EXPECT_EQ(title(tracks), "t4");
  append_track(tracks, "t6");
  EXPECT_EQ(tracks.record_number(), 4);
  reopen();
  EXPECT_EQ(titles(), (std::vector<std::string>{"t1", "t2", "t4", "t6"}));
  tracks.first();
  for (int i = 0; i < 4; ++i) tracks.delete_record();
  EXPECT_EQ(tracks.record_count(), 0);
  EXPECT_TRUE(tracks.at_beginning() && tracks.at_end());
}

TEST_F(TableTest, AppendBuildsANewLastRowInEditModeUntilPosted) {
  fill(2);
  tracks.first();
  tracks.append();
  EXPECT_EQ(tracks.state(), TableState::Insert);
  EXPECT_EQ(tracks.record_number(), 3);
  EXPECT_EQ(tracks.record_count(), 2);
  EXPECT_TRUE(tracks.field_by_name("TITLE").is_empty());
  tracks.field_by_name("TITLE").set_text("new");
  tracks.post();
  EXPECT_EQ(tracks.state(), TableState::Browse);
  EXPECT_EQ(tracks.record_count(), 3);
  EXPECT_EQ(tracks.record_number(), 3);
  EXPECT_EQ(title(tracks), "new");
  tracks.post();  // nothing pending: nothing happens
  EXPECT_EQ(tracks.record_count(), 3);

  // An untouched new row is posted by post, dropped by refresh and by a move.
  tracks.append();
  tracks.post();
  EXPECT_EQ(tracks.record_count(), 4);
  tracks.append();
  tracks.refresh();
  EXPECT_EQ(tracks.record_count(), 4);
  tracks.append();
  tracks.first();
  EXPECT_EQ(tracks.record_count(), 4);
  EXPECT_EQ(tracks.state(), TableState::Browse);
}

TEST_F(TableTest, EditWritesTheCurrentRowAtPostRefreshOrMove) {
  fill(4);
  tracks.first();
  tracks.move_by(2);
  EXPECT_THROW(tracks.field_by_name("TITLE").set_text("x"), TableError);  // not in edit mode
  tracks.edit();
  EXPECT_EQ(tracks.state(), TableState::Edit);
  tracks.field_by_name("TITLE").set_text("changed");
  tracks.edit();  // already editing: the change stays pending
  EXPECT_EQ(title(tracks), "changed");
  tracks.refresh();
  EXPECT_EQ(tracks.state(), TableState::Browse);
  EXPECT_EQ(tracks.record_number(), 3);
  EXPECT_EQ(title(tracks), "changed");

  tracks.edit();
  tracks.field_by_name("ARTIST").set_text("moved on");
  tracks.next();  // a move posts first
  EXPECT_EQ(title(tracks), "t4");
  tracks.edit();
  tracks.field_by_name("ALBUM").set_text("closed");
  tracks.close();  // and so does close: nothing is lost
  tracks.open();
  tracks.move_by(2);
  EXPECT_EQ(title(tracks), "changed");
  EXPECT_EQ(tracks.field_by_name("ARTIST").as_text(), "moved on");
  tracks.next();
  EXPECT_EQ(tracks.field_by_name("ALBUM").as_text(), "closed");
  EXPECT_EQ(title(tracks), "t4");  // columns not set keep their values
}

TEST_F(TableTest, AChangeThatCannotBeWrittenIsDroppedByTheMove) {
  fill(3);
  reopen();
  // A folder where the table's journal goes: no write can begin, whoever runs the test.
  std::filesystem::remove(dir / "Lib.db-journal");
  std::filesystem::create_directory(dir / "Lib.db-journal");
  tracks.edit();
  tracks.field_by_name("TITLE").set_text("unwritable");
  try {
    tracks.next();
    ADD_FAILURE() << "the move wrote the change";
  } catch (const TableError& error) {
    EXPECT_NE(std::string(error.what()).find("The change was not saved."), std::string::npos) << error.what();
  }
  EXPECT_EQ(tracks.state(), TableState::Browse);
  EXPECT_EQ(title(tracks), "t1");
  tracks.next();  // the table goes on
  EXPECT_EQ(title(tracks), "t2");
  std::filesystem::remove(dir / "Lib.db-journal");
  tracks.edit();
  tracks.field_by_name("TITLE").set_text("written");
  tracks.refresh();
  reopen();
  EXPECT_EQ(titles(), (std::vector<std::string>{"t1", "written", "t3"}));
}

TEST_F(TableTest, EditOnAnEmptyTableBeginsANewRow) {
  tracks.edit();
  EXPECT_EQ(tracks.state(), TableState::Insert);
  tracks.field_by_name("TITLE").set_text("first");
  tracks.refresh();
  EXPECT_EQ(tracks.record_count(), 1);
  EXPECT_EQ(tracks.record_number(), 1);
  EXPECT_EQ(title(tracks), "first");
}

TEST_F(TableTest, DeleteDropsANewRowOrAPendingEdit) {
  fill(2);
  tracks.append();
  tracks.field_by_name("TITLE").set_text("never");
  tracks.delete_record();
  EXPECT_EQ(tracks.record_count(), 2);
  tracks.first();
  tracks.edit();
  tracks.field_by_name("TITLE").set_text("gone");
  tracks.delete_record();
  EXPECT_EQ(tracks.state(), TableState::Browse);
  EXPECT_EQ(titles(), std::vector<std::string>{"t2"});
}

TEST_F(TableTest, TextsAreCutToTheColumnWidthInCharacters) {
  tracks.append();
  tracks.field_by_name("VERSION").set_text("MPEG-2 (LSF)");
  EXPECT_EQ(tracks.field_by_name("VERSION").as_text(), "MPEG-2 (LSF");
  // One ASCII character fewer than the column holds, then two-byte and four-byte characters: the last
  // character the column holds is kept whole.
  const std::string title39(kTagTextWidth - 1, 'a');
  tracks.field_by_name("TITLE").set_text(title39 + "\xC3\xA9" + "\xF0\x9F\x8E\xB5" + "zz");
  tracks.field_by_name("ARTIST").set_text(title39 + "\xF0\x9F\x8E\xB5\xC3\xA9");
  const std::string long_memo(10000, 'm');
  tracks.field_by_name("MEMO").set_text(long_memo);
  tracks.post();
  tracks.close();
  tracks.open();
  EXPECT_EQ(title(tracks), title39 + "\xC3\xA9");
  EXPECT_EQ(tracks.field_by_name("ARTIST").as_text(), title39 + "\xF0\x9F\x8E\xB5");
  EXPECT_EQ(tracks.field_by_name("VERSION").as_text(), "MPEG-2 (LSF");
  EXPECT_EQ(tracks.field_by_name("MEMO").as_text(), long_memo);  // a memo has no width
}

TEST_F(TableTest, BatchCommitsItsRowsTogether) {
  fill(1);
  {
    TableBatch batch(tracks);
    EXPECT_THROW(TableBatch{tracks}, TableError);  // one at a time
    append_track(tracks, "t2");
    append_track(tracks, "t3");
    tracks.first();
    tracks.delete_record();
    EXPECT_EQ(tracks.record_count(), 2);
    batch.commit();
  }
  reopen();
  EXPECT_EQ(titles(), (std::vector<std::string>{"t2", "t3"}));
}

TEST_F(TableTest, BatchNotCommittedIsForgotten) {
  fill(2);
  {
    TableBatch batch(tracks);
    append_track(tracks, "t3");
    tracks.append();
    tracks.field_by_name("TITLE").set_text("pending");
    EXPECT_EQ(tracks.record_count(), 3);
  }
  EXPECT_EQ(tracks.state(), TableState::Browse);
  EXPECT_EQ(tracks.record_count(), 2);
  EXPECT_EQ(titles(), (std::vector<std::string>{"t1", "t2"}));
  {
    TableBatch batch(tracks);
    append_track(tracks, "t3");
    tracks.close();  // closing ends the batch too
  }
  tracks.open();
  EXPECT_EQ(tracks.record_count(), 2);
  TableBatch after(tracks);  // a new batch after the old one went
  append_track(tracks, "t3");
  after.commit();
  reopen();
  EXPECT_EQ(tracks.record_count(), 3);
}

TEST_F(TableTest, BatchNeedsAWritableTable) {
  reopen();
  tracks.close();
  EXPECT_THROW(TableBatch{tracks}, TableError);
  tracks.set_read_only(true);
  tracks.open();
  EXPECT_THROW(TableBatch{tracks}, TableError);
}

TEST(CutText, CountsCharactersNotBytes) {
  EXPECT_EQ(cut_text("abc", 5), "abc");
  EXPECT_EQ(cut_text("abcdef", 0), "");
  EXPECT_EQ(cut_text("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(cut_text("\xE2\x82\xAC"
                     "abc",
                     1),
            "\xE2\x82\xAC");
  // A lead byte without its continuation counts as a character; continuation bytes stay with the one before.
  EXPECT_EQ(cut_text("\xC3"
                     "ab",
                     1),
            "\xC3");
  EXPECT_EQ(cut_text("a\x80\x80"
                     "b",
                     1),
            "a\x80\x80");
  EXPECT_EQ(cut_text("\xFF"
                     "ab",
                     2),
            "\xFF"
            "a");
}

TEST_F(TableTest, FieldsNeverWrittenReadAsEmptyValues) {
  fill(1);
  tracks.first();
  for (const char* name : {"COPYRIGHT", "C7", "CHECKSUMS", "FRAMETOTAL", "MODE", "MEMO", "DATA", "KEY"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(tracks.field_by_name(name).is_empty());
  }
  EXPECT_FALSE(tracks.field_by_name("COPYRIGHT").as_boolean());
  EXPECT_EQ(tracks.field_by_name("FRAMETOTAL").as_integer(), 0);
  EXPECT_EQ(tracks.field_by_name("MODE").as_text(), "");
  EXPECT_EQ(tracks.field_by_name("MEMO").as_text(), "");
}

TEST_F(TableTest, ValuesConvertBetweenBooleansIntegersAndTexts) {
  tracks.append();
  Field skip = tracks.field_by_name("skip");  // names are found in any case
  skip.set_boolean(true);
  tracks.field_by_name("CHECKSUMS").set_integer(1);
  tracks.field_by_name("FRAMETOTAL").set_text(" 12345 ");
  tracks.field_by_name("TRACKTOTAL").set_integer(-2147483647 - 1);
  tracks.field_by_name("C3").set_text("true");
  tracks.field_by_name("PAD").set_text("/music/a.mp3");
  tracks.post();
  EXPECT_TRUE(skip.as_boolean());
  EXPECT_EQ(skip.as_text(), "True");
  EXPECT_EQ(tracks.field_by_name("C3").as_integer(), 1);
  EXPECT_EQ(tracks.field_by_name("C4").as_text(), "");
  EXPECT_EQ(tracks.field_by_name("CHECKSUMS").as_text(), "1");
  EXPECT_EQ(tracks.field_by_name("FRAMETOTAL").as_integer(), 12345);
  EXPECT_EQ(tracks.field_by_name("TRACKTOTAL").as_integer(), -2147483647 - 1);
  EXPECT_EQ(tracks.field_by_name("PAD").as_text(), "/music/a.mp3");

  tracks.edit();
  EXPECT_THROW(tracks.field_by_name("CHECKSUMS").set_integer(40000), TableError);  // smallint
  EXPECT_THROW(tracks.field_by_name("FRAMETOTAL").set_text("12x"), TableError);
  EXPECT_THROW(tracks.field_by_name("SKIP").set_text("maybe"), TableError);
  EXPECT_THROW(tracks.field_by_name("DATA").set_text("bytes"), TableError);
  EXPECT_THROW(tracks.field_by_name("NOSUCH"), TableError);
  tracks.post();
  EXPECT_EQ(tracks.field_by_name("CHECKSUMS").as_integer(), 1);  // refused values change nothing
  EXPECT_EQ(tracks.field_by_name("FRAMETOTAL").as_integer(), 12345);
}

// The bulk read agrees with reading field by field, after the pending change is posted, and skips nothing.
TEST_F(TableTest, ReadFlagsGivesEveryRowsFlagsAtOnce) {
  fill(6);
  Field skip = tracks.field_by_name("SKIP");
  Field c2 = tracks.field_by_name("C2");
  Field frames = tracks.field_by_name("FRAMETOTAL");
  tracks.first();
  for (int r = 1; r <= 6; ++r, tracks.next()) {
    tracks.edit();
    if (r % 2 == 0) skip.set_boolean(true);
    if (r % 3 == 0) c2.set_boolean(true);
    if (r == 5) frames.set_integer(1200);
    tracks.post();
  }
  tracks.first();
  tracks.move_by(3);
  tracks.edit();
  c2.set_boolean(true);  // pending on row 4
  EXPECT_EQ(tracks.read_flags({skip, c2, frames}),
            (std::vector<uint64_t>{0, 1, 2, 3, 4, 3}));
  EXPECT_EQ(tracks.state(), TableState::Browse);
  EXPECT_EQ(tracks.record_number(), 4);
  EXPECT_EQ(tracks.read_flags({}), std::vector<uint64_t>(6, 0));
  EXPECT_THROW(tracks.read_flags({tracks.field_by_name("TITLE")}), TableError);
  EXPECT_THROW(tracks.read_flags(std::vector<Field>(65, skip)), TableError);
  tracks.close();
  EXPECT_THROW(tracks.read_flags({}), TableError);
}

TEST_F(TableTest, AFieldOfAClosedTableIsRefused) {
  fill(1);
  Field field = tracks.field_by_name("TITLE");
  tracks.close();
  tracks.open();
  EXPECT_THROW(field.as_text(), TableError);
}

TEST(TableLayout, ANewTrackTableHasTheCreationOrderAndPositionsFollowTheDataModule) {
  test::TempDir dir;
  test::create_library(dir.path(), "Set");
  Table tracks("Set.db");
  tracks.set_location(dir.path());
  tracks.set_field_order(track_field_order());
  tracks.open();
  const std::vector<ColumnDef> expected = track_columns();
  ASSERT_EQ(tracks.columns().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(tracks.columns()[i].name, expected[i].name);
    EXPECT_EQ(tracks.columns()[i].type, expected[i].type);
    EXPECT_EQ(tracks.columns()[i].size, expected[i].size);
  }
  EXPECT_EQ(tracks.columns()[1].name, "VERSION");
  EXPECT_EQ(tracks.columns()[1].size, 11);
  for (int k = 0; k < 64; ++k) EXPECT_EQ(tracks.field_by_position(k).name(), "C" + std::to_string(k + 1));
  EXPECT_EQ(tracks.field_by_position(64).name(), "PAD");
  EXPECT_EQ(tracks.field_by_position(81).name(), "KEY");
  EXPECT_THROW(tracks.field_by_position(82), TableError);
}

TEST(TableLayout, PositionalAccessReachesTheCategoryFlagsInAnyPhysicalOrder) {
  test::TempDir dir;
  std::vector<ColumnDef> shuffled = track_columns();
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  Table tracks("Odd.db");
  tracks.set_location(dir.path());
  tracks.create_table(shuffled);
  tracks.set_field_order(track_field_order());
  tracks.open();
  ASSERT_NE(tracks.columns()[0].name, "C1");
  tracks.append();
  tracks.field_by_position(4).set_boolean(true);
  tracks.field_by_position(63).set_boolean(true);
  tracks.post();
  tracks.close();
  tracks.open();
  EXPECT_EQ(tracks.field_by_position(0).name(), "C1");
  EXPECT_TRUE(tracks.field_by_name("C5").as_boolean());
  EXPECT_TRUE(tracks.field_by_name("C64").as_boolean());
  for (int k = 0; k < 64; ++k) {
    EXPECT_EQ(tracks.field_by_position(k).as_boolean(), k == 4 || k == 63) << k;
  }

  // A table that lacks a field of the data module's listing does not open.
  tracks.close();
  Table categories("Cat.db");
  categories.set_location(dir.path());
  categories.create_table(category_columns());
  categories.set_field_order(track_field_order());
  EXPECT_THROW(categories.open(), TableError);
  EXPECT_FALSE(categories.is_open());
}

TEST(TableReadOnly, RefusesEveryChangeAndChangesNothing) {
  test::TempDir dir;
  test::create_library(dir.path(), "Ro");
  test::write_text(dir / "audio.mp3", "audio");
  Table tracks("Ro.db");
  tracks.set_location(dir.path());
  tracks.open();
  append_track(tracks, "kept", "memo");
  tracks.close();
  const std::string table_bytes = test::file_text(dir / "Ro.db");
  const std::string companion_bytes = test::file_text(dir / "Ro.mb");

  tracks.set_read_only(true);
  tracks.open();
  EXPECT_THROW(tracks.set_read_only(false), TableError);  // only while closed
  EXPECT_THROW(tracks.edit(), TableError);
  EXPECT_THROW(tracks.append(), TableError);
  EXPECT_THROW(tracks.delete_record(), TableError);
  EXPECT_THROW(tracks.field_by_name("TITLE").set_text("changed"), TableError);
  EXPECT_THROW(tracks.field_by_name("DATA").load_from_file(dir / "audio.mp3"), TableError);
  EXPECT_EQ(tracks.state(), TableState::Browse);
  tracks.refresh();
  tracks.post();
  EXPECT_EQ(tracks.record_count(), 1);
  EXPECT_EQ(title(tracks), "kept");
  EXPECT_EQ(tracks.field_by_name("MEMO").as_text(), "memo");
  tracks.close();
  EXPECT_EQ(test::file_text(dir / "Ro.db"), table_bytes);
  EXPECT_EQ(test::file_text(dir / "Ro.mb"), companion_bytes);

  tracks.set_read_only(false);
  tracks.open();
  tracks.edit();
  tracks.field_by_name("TITLE").set_text("writable again");
  tracks.post();
  EXPECT_EQ(title(tracks), "writable again");
}

TEST(TableReadOnly, FilesThatCannotBeWrittenOpenReadOnly) {
  test::TempDir dir;
  test::create_library(dir.path(), "Ro");
  Table tracks("Ro.db");
  tracks.set_location(dir.path());
  tracks.open();
  append_track(tracks, "kept", "memo");
  tracks.close();
  const int status = test::in_child_reading_only(dir.path(), [&] {
    tracks.open();
    if (!tracks.read_only() || !tracks.files_read_only()) return 1;
    try {
      tracks.edit();
      return 2;
    } catch (const TableError& error) {
      if (std::string(error.what()).find("read-only") == std::string::npos) return 3;
    }
    return title(tracks) == "kept" ? 0 : 4;
  });
  EXPECT_EQ(status, 0);
  tracks.open();  // writable again
  EXPECT_FALSE(tracks.read_only());
  tracks.edit();
  tracks.field_by_name("TITLE").set_text("changed");
  tracks.post();
  EXPECT_EQ(title(tracks), "changed");
}

TEST(TableNaming, NamesAndOptionsChangeOnlyWhileClosed) {
  test::TempDir dir;
  test::create_library(dir.path(), "Named");
  Table table;
  table.set_location(dir.path().string() + "/");  // with a trailing separator
  table.set_table_name("Named");
  EXPECT_THROW(table.open(), TableError);  // chosen by extension: a name without one is no table
  table.set_table_type(TableType::Paradox);
  table.open();
  EXPECT_EQ(table.file_path(), dir / "Named.db");
  EXPECT_THROW(table.set_location(dir.path()), TableError);
  EXPECT_THROW(table.set_table_name("Other.db"), TableError);
  EXPECT_THROW(table.set_table_type(TableType::ByExtension), TableError);
  EXPECT_THROW(table.create_table(track_columns()), TableError);
  EXPECT_THROW(table.delete_table(), TableError);
  table.close();

  table.set_table_name("Missing.db");
  try {
    table.open();
    FAIL() << "opened a missing table";
  } catch (const TableError& error) {
    EXPECT_NE(std::string(error.what()).find("Missing.db"), std::string::npos) << error.what();
  }
  test::write_text(dir / "Junk.db", std::string(4096, 'j'));
  table.set_table_name("Junk.db");
  EXPECT_THROW(table.open(), TableError);
  EXPECT_FALSE(table.is_open());
}

}  // namespace
}  // namespace vemla
