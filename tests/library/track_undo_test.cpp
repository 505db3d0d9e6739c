// A deleted track taken back: with every value it had and its stored audio, as a new last track, whatever
// happened to the library meanwhile; and a track that cannot be kept is not deleted.
#include "track_undo.h"

#include <gtest/gtest.h>

#include "store_support.h"
#include "support.h"
#include "table.h"
#include "track_ops.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using test::file_text;
using test::write_text;

class TrackUndo : public ::testing::Test {
 protected:
  void SetUp() override {
    test::create_library(dir.path(), "Lib");
    test::name_table(tracks, dir.path(), "Lib.db");
    tracks.open();
    fs::create_directory(kept);
  }
  void add_track(const std::string& title, const std::string& audio) {
    write_text(dir / (title + ".mp3"), audio);
    tracks.append();
    tracks.field_by_name("TITLE").set_text(title);
    tracks.field_by_name("PAD").set_text((dir / (title + ".mp3")).string());
    if (!audio.empty()) tracks.field_by_name("DATA").load_from_file(dir / (title + ".mp3"));
    tracks.post();
  }
  std::string text(const char* column) { return tracks.field_by_name(column).as_text(); }

  test::TempDir dir;
  fs::path kept = dir / "kept";
  Table tracks;
};

TEST_F(TrackUndo, DeletedTrackComesBackWithAllItHad) {
  add_track("first", "audio 1");
  add_track("second", "audio 2");
  add_track("third", "");
  go_to_record(tracks, 2);
  tracks.edit();
  tracks.field_by_name("ARTIST").set_text("Artist");
  tracks.field_by_name("MEMO").set_text("a memo\nof two lines");
  tracks.field_by_name("C3").set_boolean(true);
  tracks.field_by_name("C64").set_boolean(true);
  tracks.field_by_name("SKIP").set_boolean(true);
  tracks.field_by_name("FRAMETOTAL").set_integer(1234);
  tracks.post();

  std::unique_ptr<DeletedTrack> deleted = delete_track_keeping(tracks, kept);
  ASSERT_TRUE(deleted);
  EXPECT_EQ(deleted->record(), 2);
  EXPECT_EQ(deleted->title(), "second");
  EXPECT_EQ(tracks.record_count(), 2);
  EXPECT_FALSE(fs::is_empty(kept));  // its audio, until it is taken back or forgotten

  // Other work meanwhile: a track added, another deleted, a title changed.
  add_track("fourth", "audio 4");
  go_to_record(tracks, 1);
  delete_track(tracks);
  tracks.edit();
  tracks.field_by_name("TITLE").set_text("renamed");
  tracks.post();

  const int record = deleted->restore(tracks);
  EXPECT_EQ(record, 3);
  EXPECT_EQ(tracks.record_count(), 3);
  EXPECT_EQ(tracks.record_number(), 3);
  tracks.close();
  tracks.open();
  go_to_record(tracks, 3);
  EXPECT_EQ(text("TITLE"), "second");
  EXPECT_EQ(text("ARTIST"), "Artist");
  EXPECT_EQ(text("MEMO"), "a memo\nof two lines");
  EXPECT_EQ(text("PAD"), (dir / "second.mp3").string());
  EXPECT_TRUE(tracks.field_by_name("C3").as_boolean());
  EXPECT_TRUE(tracks.field_by_name("C64").as_boolean());
  EXPECT_FALSE(tracks.field_by_name("C4").as_boolean());
  EXPECT_TRUE(tracks.field_by_name("SKIP").as_boolean());
  EXPECT_EQ(tracks.field_by_name("FRAMETOTAL").as_integer(), 1234);
  EXPECT_TRUE(tracks.field_by_name("ALBUM").is_empty());
  tracks.field_by_name("DATA").save_to_file(dir / "check");
  EXPECT_EQ(file_text(dir / "check"), "audio 2");

  deleted.reset();
  EXPECT_TRUE(fs::is_empty(kept));
}

TEST_F(TrackUndo, TrackWithoutStoredAudioNeedsNoFile) {
  add_track("disk", "");
  std::unique_ptr<DeletedTrack> deleted = delete_track_keeping(tracks, {});
  ASSERT_TRUE(deleted);
  EXPECT_EQ(tracks.record_count(), 0);
  EXPECT_EQ(deleted->restore(tracks), 1);
  EXPECT_EQ(text("TITLE"), "disk");
  EXPECT_TRUE(tracks.field_by_name("DATA").is_empty());
}

TEST_F(TrackUndo, TrackThatCannotBeKeptIsNotDeleted) {
  EXPECT_EQ(delete_track_keeping(tracks, kept), nullptr);  // no row: nothing done
  add_track("stored", "audio");
  for (const fs::path& folder : {dir / "no such folder", fs::path()}) {
    try {
      delete_track_keeping(tracks, folder);
      ADD_FAILURE() << "deleted without a place to keep it";
    } catch (const TableError& error) {
      EXPECT_NE(std::string(error.what()).find("not deleted"), std::string::npos) << error.what();
    }
    EXPECT_EQ(tracks.record_count(), 1);
  }
  EXPECT_FALSE(fs::exists(dir / "no such folder"));
}

TEST_F(TrackUndo, RestoreRefusedByTheEngineKeepsTheTrack) {
  add_track("stored", "audio");
  std::unique_ptr<DeletedTrack> deleted = delete_track_keeping(tracks, kept);
  tracks.close();
  tracks.set_read_only(true);
  tracks.open();
  EXPECT_THROW(deleted->restore(tracks), TableError);
  EXPECT_EQ(tracks.record_count(), 0);
  tracks.close();
  tracks.set_read_only(false);
  tracks.open();
  EXPECT_EQ(deleted->restore(tracks), 1);
  tracks.field_by_name("DATA").save_to_file(dir / "check");
  EXPECT_EQ(file_text(dir / "check"), "audio");
}

}  // namespace
}  // namespace vemla
