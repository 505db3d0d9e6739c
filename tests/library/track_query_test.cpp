#include "track_query.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "store_support.h"
#include "support.h"
#include "table.h"
#include "text_fold.h"

namespace vemla {
namespace {

using test::TempDir;

TEST(TextFoldTest, CaseAndAccentsFoldAway) {
  EXPECT_EQ(fold_text("Björk"), "bjork");
  EXPECT_EQ(fold_text("BJÖRK"), "bjork");
  EXPECT_EQ(fold_text("Sigur Rós"), "sigur ros");
  EXPECT_EQ(fold_text("Straße"), "strasse");
  EXPECT_EQ(fold_text("ﬁn"), "fin");                  // a ligature
  EXPECT_EQ(fold_text("Ame\xCC\x81lie"), "amelie");  // a combining accent
  EXPECT_EQ(fold_text("Mötley Crüe & AC/DC"), "motley crue & ac/dc");
  EXPECT_EQ(fold_text("東京"), "東京");
  EXPECT_FALSE(fold_text("bad \xFF\xFE bytes").empty());
  EXPECT_EQ(search_words("  Björk\tDEBUT  "), (std::vector<std::string>{"bjork", "debut"}));
  EXPECT_TRUE(search_words(" \t ").empty());
}

struct Track {
  std::string title = "", artist = "", album = "", memo = "";
  int time_ms = 0;
  std::string bitrate = "128 kbit/s", samplerate = "44.1 kHz";
  CategoryMask categories = 0;
  bool skip = false;
};

class TrackQueryTest : public ::testing::Test {
 protected:
  TrackQueryTest() {
    test::create_library(dir.path(), "Lib");
    test::name_table(tracks, dir.path(), "Lib.db");
    tracks.set_field_order(track_field_order());
    tracks.open();
  }

  void add(const Track& track) {
    tracks.append();
    write(track);
    tracks.post();
  }
  void write(const Track& track) {
    tracks.field_by_name("TITLE").set_text(track.title);
    tracks.field_by_name("ARTIST").set_text(track.artist);
    tracks.field_by_name("ALBUM").set_text(track.album);
    tracks.field_by_name("MEMO").set_text(track.memo);
    tracks.field_by_name("TRACKTOTAL").set_integer(track.time_ms);
    tracks.field_by_name("BITRATE").set_text(track.bitrate);
    tracks.field_by_name("SAMPLERATE").set_text(track.samplerate);
    tracks.field_by_name("SKIP").set_boolean(track.skip);
    for (int k = 0; k < 64; ++k) tracks.field_by_position(k).set_boolean(track.categories >> k & 1);
  }

  // The record numbers of the rows shown, in order.
  std::vector<int> shown() const {
    std::vector<int> records;
    for (int row = 0; row < query.size(); ++row) records.push_back(query.record_at(row));
    return records;
  }
  std::vector<int> searched(const std::string& text) {
    query.set_search(text);
    return shown();
  }

  TempDir dir;
  Table tracks{"Lib.db"};
  TrackQuery query{tracks};
};

TEST_F(TrackQueryTest, SearchMatchesWordsInAnyFieldAndOrder) {
  add({"Jóga", "Björk", "Homogenic", "a favourite"});
  add({"Hoppípolla", "Sigur Rós", "Takk...", ""});
  add({"Army of Me", "Bjork Tribute Band", "Covers", ""});
  add({"Live at the Pier", "Ossi", "Harbour", "recorded LIVE outdoors"});
  query.reload();
  EXPECT_EQ(shown(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(searched("bjork"), (std::vector<int>{1, 3}));
  EXPECT_EQ(searched("BJÖRK homogenic"), (std::vector<int>{1}));
  EXPECT_EQ(searched("ros hoppi"), (std::vector<int>{2}));
  EXPECT_EQ(searched("favourite"), (std::vector<int>{1})) << "the memo is searched";
  EXPECT_EQ(searched("outdoors pier"), (std::vector<int>{4}));
  EXPECT_EQ(searched("ossiharbour"), (std::vector<int>{})) << "a word never spans two fields";
  EXPECT_EQ(searched("nothing like it"), (std::vector<int>{}));
  EXPECT_EQ(query.row_of(4), -1);
  EXPECT_EQ(searched("  "), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(query.total(), 4);
}

TEST_F(TrackQueryTest, SortsByEachKindOfColumnWithTiesInRecordOrder) {
  add({"beta", "Zed", "", "", 3000, "96 kbit/s", "8 kHz", 0b100});
  add({"Alpha", "", "", "memo", 1000, "128 kbit/s", "44.1 kHz", 0b001});
  add({"", "able", "", "", 2000, "free format", "22.05 kHz", 0});
  add({"Älpha", "Zed", "", "", 1000, "320 kbit/s", "48 kHz", 0b110, true});
  query.reload();
  query.set_order(TrackColumn::Title, true);
  EXPECT_EQ(shown(), (std::vector<int>{2, 4, 1, 3})) << "accents and case aside; empty last";
  query.set_order(TrackColumn::Title, false);
  EXPECT_EQ(shown(), (std::vector<int>{3, 1, 2, 4}));
  query.set_order(TrackColumn::Artist, true);
  EXPECT_EQ(shown(), (std::vector<int>{3, 1, 4, 2})) << "equal artists stay in record order";
  query.set_order(TrackColumn::Time, true);
  EXPECT_EQ(shown(), (std::vector<int>{2, 4, 3, 1}));
  query.set_order(TrackColumn::Bitrate, true);
  EXPECT_EQ(shown(), (std::vector<int>{3, 1, 2, 4})) << "by number, not by text";
  query.set_order(TrackColumn::Samplerate, false);
  EXPECT_EQ(shown(), (std::vector<int>{4, 2, 3, 1}));
  query.set_order(TrackColumn::Categories, true);
  EXPECT_EQ(shown(), (std::vector<int>{2, 4, 1, 3}));
  query.set_order(TrackColumn::Memo, false);
  EXPECT_EQ(shown(), (std::vector<int>{2, 1, 3, 4}));
  query.set_order(TrackColumn::Skip, false);
  EXPECT_EQ(shown(), (std::vector<int>{4, 1, 2, 3}));
  query.set_order(TrackColumn::Number, false);
  EXPECT_EQ(shown(), (std::vector<int>{4, 3, 2, 1}));
  // A search keeps the order.
  query.set_order(TrackColumn::Time, true);
  EXPECT_EQ(searched("zed"), (std::vector<int>{4, 1}));
  EXPECT_EQ(query.row_of(1), 1);
}

TEST_F(TrackQueryTest, RowsShowTheirTextsReadAPageAtATime) {
  {
    TableBatch batch(tracks);  // one commit: a commit per row waits for the disk 600 times
    for (int i = 1; i <= 600; ++i) add({"Title " + std::to_string(i), "Artist", "Album", i % 7 ? "" : "memo", i});
    batch.commit();
  }
  test::write_text(dir / "audio.mp3", "audio");
  tracks.first();
  tracks.edit();
  tracks.field_by_name("DATA").load_from_file(dir / "audio.mp3");
  tracks.post();
  query.reload();
  query.set_order(TrackColumn::Time, false);
  const TrackRow& last = query.row(0);
  EXPECT_EQ(last.record, 600);
  EXPECT_EQ(last.title, "Title 600");
  EXPECT_EQ(last.bitrate, "128 kbit/s");
  EXPECT_EQ(last.time_ms, 600);
  const TrackRow& first = query.row(599);
  EXPECT_EQ(first.title, "Title 1");
  EXPECT_TRUE(first.stored);
  EXPECT_FALSE(query.row(598).stored);
  EXPECT_TRUE(query.row(600 - 7).memo);
  EXPECT_FALSE(query.row(600 - 8).memo);
  for (int row = 0; row < 600; row += 37) EXPECT_EQ(query.row(row).title, "Title " + std::to_string(600 - row));
}

TEST_F(TrackQueryTest, FollowsRowsAddedWrittenAndDeleted) {
  add({"one"});
  add({"two"});
  query.reload();
  EXPECT_FALSE(query.update()) << "nothing changed";
  add({"three björk"});
  EXPECT_TRUE(query.update());
  EXPECT_EQ(shown(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(searched("bjork"), (std::vector<int>{3}));

  // A written row: its texts, flags and categories.
  tracks.first();
  tracks.edit();
  write({"Björk again", "", "", "", 0, "128 kbit/s", "44.1 kHz", 0b1000, true});
  tracks.post();
  query.refresh_record(1);
  EXPECT_EQ(searched("bjork"), (std::vector<int>{1, 3}));
  EXPECT_EQ(query.row(0).title, "Björk again");
  EXPECT_TRUE(query.row(0).skip);
  EXPECT_EQ(query.categories_of(1), 0b1000u);

  // A deleted row renumbers those after it.
  tracks.first();
  tracks.delete_record();
  EXPECT_TRUE(query.update());
  EXPECT_EQ(searched(""), (std::vector<int>{1, 2}));
  EXPECT_EQ(query.row(1).title, "three björk");

  // A delete and an append between two looks.
  tracks.first();
  tracks.delete_record();
  add({"four"});
  EXPECT_TRUE(query.update());
  EXPECT_EQ(query.total(), 2);
  EXPECT_EQ(query.row(0).title, "three björk");
  EXPECT_EQ(query.row(1).title, "four");

  tracks.close();
  EXPECT_TRUE(query.update());
  EXPECT_EQ(query.size(), 0);
  EXPECT_EQ(query.record_at(0), 0);
}

// Another library opened in the place of the first between two looks, with as many rows under the same ids.
TEST_F(TrackQueryTest, ALibraryOpenedInThePlaceOfAnotherIsReadWhole) {
  TempDir other;
  test::create_library(other.path(), "Lib");
  tracks.close();
  test::name_table(tracks, other.path(), "Lib.db");
  tracks.open();
  add({"uno"});
  add({"dos"});
  tracks.close();
  test::name_table(tracks, dir.path(), "Lib.db");
  tracks.open();
  add({"one"});
  add({"two"});
  query.reload();
  EXPECT_EQ(query.row(1).title, "two");
  tracks.close();
  test::name_table(tracks, other.path(), "Lib.db");
  tracks.open();
  EXPECT_TRUE(query.update());
  ASSERT_EQ(query.size(), 2);
  EXPECT_EQ(query.row(0).title, "uno");
  EXPECT_EQ(query.row(1).title, "dos");
}


// Read in slices, 64 rows each (the clock is read every 64 rows, and a budget of nothing is spent at once).
class TrackQueryBuildTest : public TrackQueryTest {
 protected:
  TrackQueryBuildTest() {
    TableBatch batch(tracks);
    for (int i = 1; i <= 300; ++i)
      add({"Title " + std::to_string(i % 50), i % 3 ? "Björk" : "Sigur Rós", "", i % 5 ? "" : "live", 1000 - i, "128 kbit/s",
           "44.1 kHz", CategoryMask{1} << (i % 4)});
    batch.commit();
  }
  // Slices until the index is whole; how many it took.
  int build() {
    int slices = 1;
    while (!query.build(std::chrono::milliseconds(0))) ++slices;
    query.finish_build();
    return slices;
  }
  std::vector<int> reloaded_rows() {
    TrackQuery whole(tracks);
    whole.set_search(query.search());
    whole.set_order(query.order_column(), query.ascending());
    whole.reload();
    std::vector<int> records;
    for (int row = 0; row < whole.size(); ++row) records.push_back(whole.record_at(row));
    return records;
  }
  // Every shown row's record and texts, as the list gives them.
  std::vector<std::string> shown_rows() {
    std::vector<std::string> rows;
    for (int row = 0; row < query.size(); ++row) {
      const TrackRow& shown = query.row(row);
      rows.push_back(std::to_string(shown.record) + " " + shown.title + " / " + shown.artist + " " +
                     std::to_string(shown.time_ms) + " " + std::to_string(shown.categories));
    }
    return rows;
  }
  // Deletes the records, given as numbered before any of them goes.
  void remove(std::vector<int> records) {
    std::sort(records.rbegin(), records.rend());
    TableBatch batch(tracks);
    for (int record : records) {
      tracks.first();
      tracks.move_by(record - 1);
      tracks.delete_record();
    }
    batch.commit();
  }
};

TEST_F(TrackQueryBuildTest, RowsShowInRecordOrderUntilTheIndexIsWhole) {
  query.set_order(TrackColumn::Time, true);
  query.begin_reload();
  EXPECT_TRUE(query.building());
  EXPECT_FALSE(query.build(std::chrono::milliseconds(0)));
  EXPECT_EQ(query.size(), 300);
  EXPECT_EQ(query.record_at(250), 251);
  EXPECT_EQ(query.row_of(251), 250);
  // A row beyond the index so far shows whole from its page.
  const TrackRow& row = query.row(249);
  EXPECT_EQ(row.title, "Title 0");
  EXPECT_EQ(row.artist, "Björk");
  EXPECT_EQ(row.time_ms, 750);
  EXPECT_TRUE(row.memo);
  EXPECT_EQ(row.categories, CategoryMask{1} << 2);
  EXPECT_EQ(query.categories_of(299), CategoryMask{1} << 3);

  // A search and an order asked meanwhile apply when it is whole, as a whole reading gives them.
  query.set_search("bjork title 1");
  query.set_order(TrackColumn::Title, false);
  EXPECT_EQ(query.size(), 300);
  EXPECT_GT(build(), 3);
  EXPECT_FALSE(query.building());
  EXPECT_EQ(shown(), reloaded_rows());
  EXPECT_LT(query.size(), 300);
  query.set_search("");
  query.set_order(TrackColumn::Categories, true);
  EXPECT_EQ(shown(), reloaded_rows());
}

TEST_F(TrackQueryBuildTest, RowsWrittenAddedOrDeletedMeanwhileAreTakenIn) {
  query.begin_reload();
  EXPECT_FALSE(query.build(std::chrono::milliseconds(0)));
  // A row the index holds already, and one it does not.
  for (int record : {2, 280}) {
    tracks.first();
    tracks.move_by(record - 1);
    tracks.edit();
    write({"Jóga " + std::to_string(record)});
    tracks.post();
    query.refresh_record(record);
  }
  EXPECT_EQ(query.row(279).title, "Jóga 280");
  EXPECT_FALSE(query.update()) << "no row came or went";
  add({"Army of me"});
  EXPECT_TRUE(query.update());
  EXPECT_EQ(query.size(), 301);
  EXPECT_EQ(query.row(300).title, "Army of me");
  EXPECT_FALSE(query.build(std::chrono::milliseconds(0)));
  // A row the index read goes: it leaves the index.
  tracks.first();
  tracks.delete_record();
  EXPECT_TRUE(query.update());
  EXPECT_EQ(query.size(), 300);
  build();
  EXPECT_EQ(query.size(), 300);
  EXPECT_EQ(searched("joga"), (std::vector<int>{1, 279}));
  EXPECT_EQ(searched("army"), (std::vector<int>{300}));
  query.set_search("");
  EXPECT_EQ(shown(), reloaded_rows());
}

// Deleted rows leave the list in place: what a whole reading gives, without reading the other rows again.
TEST_F(TrackQueryBuildTest, DeletedRowsLeaveTheSameListAsAReload) {
  struct Case {
    const char* what;
    std::vector<int> records;  // 0 stands for the last
    const char* search;
    TrackColumn column;
    bool ascending;
  };
  const Case cases[] = {
      {"the first", {1}, "bjork", TrackColumn::Title, false},
      {"the last", {0}, "", TrackColumn::Number, false},
      {"one in the middle", {150}, "title 1", TrackColumn::Time, true},
      {"several apart", {2, 3, 60, 61, 62, 200, 0}, "live", TrackColumn::Categories, true},
      {"a run", {100, 101, 102, 103, 104, 105}, "", TrackColumn::Artist, true},
      {"the first and the last", {1, 0}, "ros", TrackColumn::Number, true},
  };
  for (const Case& c : cases) {
    query.set_search(c.search);
    query.set_order(c.column, c.ascending);
    query.reload();
    std::vector<int> records = c.records;
    for (int& record : records) record = record == 0 ? tracks.record_count() : record;
    const int64_t read = query.rows_read();
    remove(records);
    ASSERT_TRUE(query.update()) << c.what;
    EXPECT_EQ(query.rows_read(), read) << c.what << ": no row is read again";
    EXPECT_EQ(query.total(), tracks.record_count()) << c.what;
    EXPECT_EQ(shown(), reloaded_rows()) << c.what;
    const std::vector<std::string> in_place = shown_rows();
    query.reload();
    EXPECT_EQ(in_place, shown_rows()) << c.what;
    EXPECT_FALSE(query.update()) << c.what;
  }

  // Rows deleted and appended between two looks: only the new one is read, placed by the order.
  query.set_search("");
  query.set_order(TrackColumn::Title, true);
  const int64_t read = query.rows_read();
  remove({5, tracks.record_count()});
  add({"Aaa first by title"});
  ASSERT_TRUE(query.update());
  EXPECT_EQ(query.rows_read(), read + 1);
  EXPECT_EQ(query.row(0).title, "Aaa first by title");
  EXPECT_EQ(shown(), reloaded_rows());

  // Every row gone.
  remove([&] {
    std::vector<int> all;
    for (int record = 1; record <= tracks.record_count(); ++record) all.push_back(record);
    return all;
  }());
  ASSERT_TRUE(query.update());
  EXPECT_EQ(query.size(), 0);
  EXPECT_EQ(query.total(), 0);
}

// What a view is told of: the shown rows that went, dropped run by run before the index follows.
TEST_F(TrackQueryBuildTest, DeletedRowsAreNamedForTheView) {
  query.set_order(TrackColumn::Time, true);  // time falls with the record: the last record first
  query.set_search("bjork");
  query.reload();
  const std::vector<int> before = shown();
  remove({1, 2, 299, 300});  // records 1, 2 and 299 are Björk's, 300 Sigur Rós's
  std::vector<int> rows;
  int appended = -1;
  ASSERT_TRUE(query.find_deleted(rows, appended));
  EXPECT_EQ(appended, 0);
  const int size = query.size();
  ASSERT_EQ(rows, (std::vector<int>{0, size - 2, size - 1}));
  EXPECT_EQ(before[0], 299);
  query.drop_rows(size - 2, size - 1);
  query.drop_rows(0, 0);
  EXPECT_EQ(query.size(), size - 3);
  EXPECT_EQ(query.record_at(0), 298) << "the rows left keep their place until the index follows";
  ASSERT_TRUE(query.update());
  EXPECT_EQ(shown(), reloaded_rows());
  EXPECT_EQ(query.record_at(0), 296);

  // A new row may carry the id of one that went: the list cannot tell the view which rows went.
  remove({296});
  add({"Björk appended"});
  EXPECT_FALSE(query.find_deleted(rows, appended));
  ASSERT_TRUE(query.update());
  EXPECT_EQ(shown(), reloaded_rows());
  EXPECT_EQ(query.row(0).title, "Björk appended");
}

// The index read in slices: rows deleted meanwhile, read or not yet, leave it; the reading goes on.
TEST_F(TrackQueryBuildTest, RowsDeletedWhileTheIndexIsReadLeaveItInPlace) {
  query.set_search("bjork live");
  query.set_order(TrackColumn::Title, true);
  query.begin_reload();
  EXPECT_FALSE(query.build(std::chrono::milliseconds(0)));
  EXPECT_FALSE(query.build(std::chrono::milliseconds(0)));  // records 1 ... 128 read
  const std::string title_101 = query.row(100).title;
  std::vector<int> rows;
  int appended = -1;
  remove({1, 100, 200, 300});
  ASSERT_TRUE(query.find_deleted(rows, appended));
  EXPECT_EQ(rows, (std::vector<int>{0, 99, 199, 299}));
  EXPECT_EQ(appended, 0);
  ASSERT_TRUE(query.update());
  EXPECT_TRUE(query.building());
  EXPECT_EQ(query.size(), 296);
  EXPECT_EQ(query.record_at(295), 296);
  EXPECT_EQ(query.row(98).title, title_101);
  // 126 rows of the index stay; 170 are left to read, 64 a slice.
  EXPECT_EQ(build(), 3) << "the reading goes on where it was";
  EXPECT_EQ(query.rows_read(), 128 + 170);
  EXPECT_EQ(shown(), reloaded_rows());
  const std::vector<std::string> in_place = shown_rows();
  query.reload();
  EXPECT_EQ(in_place, shown_rows());

  // Rows the list was not told of are found when the index is whole.
  query.begin_reload();
  EXPECT_FALSE(query.build(std::chrono::milliseconds(0)));
  remove({3, 4, 290});
  EXPECT_EQ(build(), 4);
  EXPECT_EQ(query.total(), 293);
  EXPECT_EQ(shown(), reloaded_rows());
}

TEST_F(TrackQueryBuildTest, ALibraryClosedMeanwhileLeavesAnEmptyList) {
  query.set_search("bjork");
  query.begin_reload();
  EXPECT_FALSE(query.build(std::chrono::milliseconds(0)));
  tracks.close();
  EXPECT_TRUE(query.rows_changed());
  EXPECT_TRUE(query.build(std::chrono::milliseconds(0)));
  query.finish_build();
  EXPECT_FALSE(query.building());
  EXPECT_EQ(query.size(), 0);
  EXPECT_EQ(query.total(), 0);
  EXPECT_EQ(query.categories_of(1), 0u);
  // A closed library begins no reading at all.
  query.begin_reload();
  EXPECT_FALSE(query.building());
  EXPECT_EQ(query.size(), 0);
}

}  // namespace
}  // namespace vemla
