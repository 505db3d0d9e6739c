// Export, delete, facts and fix of the tracks of a library, and the settings' storage flag.
#include "track_ops.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "settings_location.h"
#include "store_support.h"
#include "support.h"
#include "table.h"
#include "track_files.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using test::file_text;
using test::write_text;

class TrackOps : public ::testing::Test {
 protected:
  void SetUp() override {
    test::create_library(dir.path(), "Lib");
    test::name_table(tracks, dir.path(), "Lib.db");
    tracks.open();
  }
  // A track whose audio is the file's (its text); stored in DATA or kept on disk.
  void add_track(const std::string& name, const std::string& audio, bool stored) {
    write_text(dir / name, audio);
    tracks.append();
    tracks.field_by_name("TITLE").set_text(name);
    tracks.field_by_name("PAD").set_text((dir / name).string());
    if (stored) tracks.field_by_name("DATA").load_from_file(dir / name);
    tracks.post();
  }
  void reopen(bool read_only) {
    tracks.close();
    tracks.set_read_only(read_only);
    tracks.open();
  }
  std::string stored_audio(int record) {
    go_to_record(tracks, record);
    tracks.field_by_name("DATA").save_to_file(dir / "check");
    return file_text(dir / "check");
  }
  test::TempDir dir;
  Table tracks;
};

TEST_F(TrackOps, ExportWritesTheStoredAudio) {
  add_track("a.mp3", "audio of a", true);
  write_text(dir / "out.mp3", "an older file, longer than the audio");
  export_track(tracks, dir / "out.mp3");
  EXPECT_EQ(file_text(dir / "out.mp3"), "audio of a");
  // Through a link, the file it names is written and the link stays.
  fs::create_symlink(dir / "target.mp3", dir / "link.mp3");
  export_track(tracks, dir / "link.mp3");
  EXPECT_TRUE(fs::is_symlink(dir / "link.mp3"));
  EXPECT_EQ(file_text(dir / "target.mp3"), "audio of a");
  // A name as long as a folder allows: the temporary file beside it must fit as well.
  const fs::path longest = dir / (std::string(251, 'n') + ".mp3");
  export_track(tracks, longest);
  EXPECT_EQ(file_text(longest), "audio of a");
}

TEST_F(TrackOps, ExportWritesNothingWhenItCannot) {
  EXPECT_THROW(export_track(tracks, dir / "out.mp3"), TableError);  // no track
  add_track("disk.mp3", "kept on disk", false);
  fs::remove(dir / "disk.mp3");
  write_text(dir / "out.mp3", "precious");
  EXPECT_FALSE(can_export(tracks));
  EXPECT_THROW(export_track(tracks, dir / "out.mp3"),
               TableError);  // neither stored nor on disk: no empty copy
  EXPECT_EQ(file_text(dir / "out.mp3"), "precious");
  add_track("b.mp3", "stored", true);
  for (const char* own : {"Lib.db", "Lib.mb", "Lib1.db"}) {
    EXPECT_THROW(export_track(tracks, dir / own), TableError) << own;
  }
  EXPECT_THROW(export_track(tracks, dir / "no folder" / "out.mp3"), TableError);
  tracks.close();
  tracks.open();  // the library is whole
  EXPECT_EQ(tracks.record_count(), 2);
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".export"), std::string::npos);
  }
}

// Export follows the track: its stored audio, or else the file it keeps its audio in.
TEST_F(TrackOps, ExportOfATrackKeptOnDiskCopiesItsFile) {
  add_track("disk.mp3", "kept on disk", false);
  EXPECT_TRUE(can_export(tracks));
  export_track(tracks, dir / "out.mp3");
  EXPECT_EQ(file_text(dir / "out.mp3"), "kept on disk");
  EXPECT_EQ(file_text(dir / "disk.mp3"), "kept on disk");
  export_track(tracks, dir / "disk.mp3");  // onto itself: the file stays whole
  EXPECT_EQ(file_text(dir / "disk.mp3"), "kept on disk");
  fs::create_directory(dir / "disk.mp3.folder");
  tracks.edit();
  tracks.field_by_name("PAD").set_text((dir / "disk.mp3.folder").string());
  tracks.post();
  EXPECT_FALSE(can_export(tracks));
}

// A failed export names the file the user asked for, never the hidden one it was being written as.
TEST_F(TrackOps, ExportOnAFullDiskNamesTheFileAskedFor) {
  const fs::path small = dir / "small";
  test::SmallDisk disk(small);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small disk needs root";
  add_track("big.mp3", std::string(3000000, 'a'), true);
  add_track("disk.mp3", std::string(3000000, 'b'), false);
  for (int record : {1, 2}) {
    go_to_record(tracks, record);
    try {
      export_track(tracks, small / "out.mp3");
      ADD_FAILURE() << "a 3 MB track fitted on a 2 MB disk";
    } catch (const TableError& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find((small / "out.mp3").string()), std::string::npos) << text;
      EXPECT_EQ(text.find(".export"), std::string::npos) << text;
    }
    EXPECT_TRUE(fs::is_empty(small)) << record;
  }
}

TEST_F(TrackOps, DeleteRemovesTheCurrentTrack) {
  EXPECT_FALSE(delete_track(tracks));  // an empty library: nothing happens
  add_track("a.mp3", "a", false);
  add_track("b.mp3", "b", false);
  ASSERT_TRUE(go_to_record(tracks, 1));
  EXPECT_FALSE(go_to_record(tracks, 3));
  EXPECT_FALSE(go_to_record(tracks, 0));
  EXPECT_TRUE(delete_track(tracks));
  EXPECT_EQ(tracks.field_by_name("TITLE").as_text(), "b.mp3");
  reopen(true);
  EXPECT_THROW(delete_track(tracks), TableError);
  EXPECT_EQ(tracks.record_count(), 1);
}

TEST_F(TrackOps, InfoShowsTheFactsOfTheCurrentTrack) {
  tracks.append();
  tracks.field_by_name("VERSION").set_text("MPEG-1");
  tracks.field_by_name("FRAMETOTAL").set_integer(1150);
  tracks.field_by_name("COPYRIGHT").set_boolean(true);
  tracks.field_by_name("ORIGINAL").set_boolean(false);
  tracks.field_by_name("PAD").set_text("/music/a.mp3");
  tracks.post();
  const TrackInfo info = track_info(tracks);
  EXPECT_EQ(info.version, "MPEG-1");
  EXPECT_EQ(info.frametotal, 1150);
  EXPECT_STREQ(yes_no(info.copyright), "Yes");
  EXPECT_STREQ(yes_no(info.original), "No");
  EXPECT_EQ(info.pad, "/music/a.mp3");
  EXPECT_FALSE(info.stored);
}

// Text where a number or flag belongs (another program's work, or a damaged file's) costs that value, which
// reads as empty and is named, not the track: its other facts are read as ever.
TEST_F(TrackOps, InfoReadsATrackPastACellThatHoldsNoNumber) {
  tracks.append();
  set(tracks, TrackTable::version, "MPEG-1");
  set(tracks, TrackTable::frametotal, 1150);
  set(tracks, TrackTable::pad, "/music/a.mp3");
  tracks.post();
  tracks.close();
  {
    SQLite::Database raw(dir / "Lib.db", SQLite::OPEN_READWRITE);
    const std::vector<ColumnDef> columns = track_columns();
    const auto position = [&](std::string_view name) {
      for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name == name) return row_column(static_cast<int>(i));
      return std::string();
    };
    raw.exec("UPDATE rows SET " + position(TrackTable::checksums.name) + "='abc\n', " +
             position(TrackTable::copyright.name) + "='maybe'");
  }
  tracks.open();
  const TrackInfo info = track_info(tracks);
  EXPECT_EQ(info.version, "MPEG-1");
  EXPECT_EQ(info.frametotal, 1150);
  EXPECT_EQ(info.checksums, 0);
  EXPECT_FALSE(info.copyright);
  ASSERT_EQ(info.damaged.size(), 2u);
  EXPECT_EQ(describe(info.damaged[0]), "CHECKSUMS holds \"abc?\", which is no number (read as 0)");
  EXPECT_EQ(describe(info.damaged[1]), "COPYRIGHT holds \"maybe\", which is no yes or no (read as No)");
}

TEST_F(TrackOps, StorageFollowsTheCurrentTrack) {
  Table settings("reg.db");
  settings.set_location(dir / "home");
  settings.set_create_when_missing(create_settings_table);
  settings.open();
  EXPECT_FALSE(sync_storage(tracks, settings));  // no track: false
  add_track("a.mp3", "a", true);
  add_track("b.mp3", "b", false);
  go_to_record(tracks, 1);
  EXPECT_TRUE(sync_storage(tracks, settings));
  EXPECT_TRUE(storage(settings));
  go_to_record(tracks, 2);
  EXPECT_FALSE(sync_storage(tracks, settings));
  settings.close();
  settings.open();
  EXPECT_FALSE(storage(settings));
}

TEST_F(TrackOps, FixStoresTheAudioOfEveryTrackOnDisk) {
  add_track("a.mp3", "audio a", false);
  add_track("b.mp3", "audio b", true);
  add_track("c.mp3", "audio c", false);
  write_text(dir / "b.mp3", "changed since it was stored");
  FixJob job(tracks);
  job.set_budget(std::chrono::milliseconds(0));
  EXPECT_EQ(job.progress().total, 3);
  EXPECT_TRUE(run_to_end(job));
  EXPECT_EQ(job.filled(), 2);
  ASSERT_EQ(job.outcomes().size(), 2u);
  EXPECT_EQ(job.outcomes()[1].record, 3);
  EXPECT_EQ(stored_audio(1), "audio a");
  EXPECT_EQ(stored_audio(2), "audio b");  // already stored: not touched
  EXPECT_EQ(stored_audio(3), "audio c");

  FixJob again(tracks);
  EXPECT_TRUE(run_to_end(again));
  EXPECT_TRUE(again.outcomes().empty());
}

// A track added by an earlier version keeps the frames' estimate of its time until fix reads its file.
TEST_F(TrackOps, FixStoresTheExactTimeWhereTheFileGivesIt) {
  if (test::gapless_layer3_file().empty() || test::layer3_file().empty())
    GTEST_SKIP() << "lame is missing; the test files cannot be made";
  const auto add = [&](const fs::path& file, int time) {
    tracks.append();
    tracks.field_by_name("PAD").set_text(file.string());
    tracks.field_by_name("TRACKTOTAL").set_integer(time);
    tracks.post();
  };
  add(test::copy_track(test::gapless_layer3_file(), dir / "exact.mp3"), 2063);
  add(test::copy_track(test::layer3_file(), dir / "plain.mp3"), 2063);
  add(dir / "plain.mp3", 1234);
  FixJob job(tracks);
  EXPECT_TRUE(run_to_end(job));
  EXPECT_EQ(job.filled(), 3);
  const auto time = [&](int record) {
    go_to_record(tracks, record);
    return tracks.field_by_name("TRACKTOTAL").as_integer();
  };
  EXPECT_EQ(time(1), 2000);
  // Without figures the time stored is kept, whatever it says.
  EXPECT_EQ(time(2), 2063);
  EXPECT_EQ(time(3), 1234);
}

TEST_F(TrackOps, FixGoesOnPastAFileThatIsGone) {
  add_track("a.mp3", "audio a", false);
  add_track("gone.mp3", "audio", false);
  add_track("c.mp3", "audio c", false);
  fs::remove(dir / "gone.mp3");
  // A bare name of an older library is taken relative to the current folder.
  go_to_record(tracks, 3);
  tracks.edit();
  tracks.field_by_name("PAD").set_text("c.mp3");
  tracks.post();
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  FixJob job(tracks);
  const bool finished = run_to_end(job);
  fs::current_path(before);
  EXPECT_TRUE(finished);
  EXPECT_EQ(job.filled(), 2);
  ASSERT_EQ(job.outcomes().size(), 3u);
  EXPECT_EQ(job.outcomes()[1].failed, "no such file");
  EXPECT_EQ(job.outcomes()[1].file, dir / "gone.mp3");
  go_to_record(tracks, 2);
  EXPECT_TRUE(tracks.field_by_name("DATA").is_empty());
  EXPECT_EQ(stored_audio(3), "audio c");
}

TEST_F(TrackOps, FixCancelledKeepsTheTracksFilledSoFar) {
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) add_track(name, name, false);
  FixJob job(tracks);
  job.set_budget(std::chrono::milliseconds(0));
  ASSERT_TRUE(job.step());
  job.cancel();
  EXPECT_FALSE(job.step());
  EXPECT_EQ(job.filled(), 1);
  EXPECT_EQ(job.progress().done, 1);
  reopen(false);
  EXPECT_EQ(stored_audio(1), "a.mp3");
  go_to_record(tracks, 2);
  EXPECT_TRUE(tracks.field_by_name("DATA").is_empty());
}

TEST_F(TrackOps, FixOnAFullDiskSaysWhyAndKeepsTheLibrary) {
  const fs::path small = dir / "small";
  test::SmallDisk disk(small);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small disk needs root";
  Table full;
  test::open_new_library(full, small, "Full");
  for (int i = 0; i < 12; ++i) {
    const fs::path audio = dir / (std::to_string(i) + ".mp3");
    write_text(audio, std::string(480000, 'a'));
    full.append();
    full.field_by_name("PAD").set_text(audio.string());
    full.post();
  }
  FixJob job(full);
  EXPECT_FALSE(run_to_end(job));
  // What the user needs is why, where, and which track met it.
  EXPECT_NE(job.error().find("is full"), std::string::npos) << job.error();
  EXPECT_NE(job.error().find(small.string()), std::string::npos) << job.error();
  EXPECT_EQ(job.error().rfind("track ", 0), 0u) << job.error();
  EXPECT_NE(job.error().find(".mp3): "), std::string::npos) << job.error();
  EXPECT_EQ(full.record_count(), 12);
  // The tracks that fitted keep their audio, although the step's transaction went with the error.
  EXPECT_GT(job.filled(), 0);
  int stored = 0;
  for (int record = 1; record <= 12; ++record) {
    go_to_record(full, record);
    stored += !full.field_by_name("DATA").is_empty();
  }
  EXPECT_EQ(stored, job.filled());
  full.edit();
  full.field_by_name("TITLE").set_text("still writable");
  EXPECT_NO_THROW(full.post());
  full.close();
}

TEST_F(TrackOps, FixOfAReadOnlyLibraryIsRefusedAndChangesNothing) {
  add_track("a.mp3", "audio a", false);
  reopen(true);
  FixJob job(tracks);
  EXPECT_FALSE(run_to_end(job));
  EXPECT_NE(job.error().find("read-only"), std::string::npos) << job.error();
  reopen(false);
  EXPECT_TRUE(tracks.field_by_name("DATA").is_empty());
}

}  // namespace
}  // namespace vemla
