// Tags, one file as a track record, the files of folders, and the import job.
#include "track_import.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "frame_builder.h"
#include "schema.h"
#include "store_support.h"
#include "support.h"
#include "table.h"
#include "track_files.h"
#include "track_ops.h"
#include "track_tag.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

#define REQUIRE_ENCODERS()                                                              \
  if (test::layer3_file().empty() || test::layer2_file().empty()) {                     \
    GTEST_SKIP() << "lame or twolame is missing; the test files cannot be made";        \
  }

std::array<uint8_t, 128> id3v1_block(const std::string& marker, const std::string& title,
                                     const std::string& artist = {}) {
  std::array<uint8_t, 128> block{};
  std::memcpy(block.data(), marker.data(), std::min<size_t>(marker.size(), 3));
  std::memcpy(block.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
  std::memcpy(block.data() + 33, artist.data(), std::min<size_t>(artist.size(), 30));
  return block;
}

TEST(Id3v1, ReadOnlyBehindItsMarker) {
  EXPECT_EQ(parse_id3v1(id3v1_block("TAG", "Four")).title, "Four");
  const TagTexts none = parse_id3v1(id3v1_block("\xFF\xFB\x90", "Audio bytes", "more"));
  EXPECT_EQ(none.title, "");
  EXPECT_EQ(none.artist, "");
}

TEST(Id3v1, Latin1LettersKeptAsUtf8ControlsEndAText) {
  const TagTexts texts = parse_id3v1(id3v1_block("TAG", "Caf\xE9 \xC0 la carte", "Stra\xDF" "e \x85 cut"));
  EXPECT_EQ(texts.title, "Caf\xC3\xA9 \xC3\x80 la carte");
  EXPECT_EQ(texts.artist, "Stra\xC3\x9F" "e ");  // a C1 control byte ends the text
  EXPECT_EQ(parse_id3v1(id3v1_block("TAG", "Pad   ")).title, "Pad   ");  // trailing blanks stay
  EXPECT_EQ(parse_id3v1(id3v1_block("TAG", "Tab\tcut")).title, "Tab");
  EXPECT_EQ(parse_id3v1(id3v1_block("TAG", std::string(30, 'x'))).title, std::string(30, 'x'));
  EXPECT_EQ(parse_id3v1(id3v1_block("TAG", std::string(30, '\xFF'))).title.size(), 60u);
}

class TaggedFiles : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_ENCODERS(); }
  fs::path copy(const std::string& name, const fs::path& source = test::layer3_file()) {
    return test::copy_track(source, dir / name);
  }
  test::TempDir dir;
};

TEST_F(TaggedFiles, Version2TextsWinOverApeAndVersion1) {
  const fs::path file = copy("tagged.mp3");
  test::append_id3v1(file, "Old title", "Old artist", "Old \xC4lbum", "1999", "old comment");
  test::add_ape(file, {"", "Ape artist", "", "", "ape comment"});
  test::add_id3v2(file, {"Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "", "", "", ""});
  const TagTexts texts = read_tag(file);
  EXPECT_EQ(texts.title, "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC");  // version 2
  EXPECT_EQ(texts.artist, "Ape artist");                           // APE
  EXPECT_EQ(texts.comment, "ape comment");
  EXPECT_EQ(texts.album, "Old \xC3\x84lbum");  // version 1, where no other tag has it
  EXPECT_EQ(texts.year, "1999");
}

TEST_F(TaggedFiles, NoTagOrNoFileGivesEmptyTexts) {
  const TagTexts none = read_tag(copy("plain.mp3"));
  EXPECT_EQ(none.title + none.artist + none.album + none.year + none.comment, "");
  const TagTexts missing = read_tag(dir / "missing.mp3");
  EXPECT_EQ(missing.title, "");
}

class ImportTrack : public TaggedFiles {
 protected:
  void SetUp() override {
    TaggedFiles::SetUp();
    if (IsSkipped()) return;
    test::create_library(dir.path(), "Lib");
    test::name_table(tracks, dir.path(), "Lib.db");
    tracks.open();
  }
  std::string text(const char* name) { return tracks.field_by_name(name).as_text(); }
  int number(const char* name) { return tracks.field_by_name(name).as_integer(); }
  Table tracks;
};

TEST_F(ImportTrack, AddsHeaderFactsTagTextsAndTheAbsolutePath) {
  const fs::path file = copy("song.mp3");
  test::append_id3v1(file, "Song", "Artist   ", "Album", "2001", "Comment");
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  const ImportOutcome outcome = import_track(tracks, "song.mp3", false);
  fs::current_path(before);
  ASSERT_TRUE(outcome.added()) << outcome.skipped;
  EXPECT_EQ(outcome.record, 1);
  EXPECT_EQ(tracks.record_count(), 1);
  EXPECT_EQ(text("PAD"), (dir / "song.mp3").string());
  EXPECT_EQ(outcome.file, dir / "song.mp3");
  EXPECT_EQ(text("VERSION"), "MPEG-1");
  EXPECT_EQ(text("LAYER"), "III");
  EXPECT_EQ(text("BITRATE"), "128 kbit/s");
  EXPECT_EQ(text("SAMPLERATE"), "44.1 kHz");
  EXPECT_EQ(number("CHECKSUMS"), 0);
  EXPECT_GT(number("FRAMETOTAL"), 70);
  EXPECT_NEAR(number("TRACKTOTAL"), 2000, 100);
  EXPECT_EQ(text("TITLE"), "Song");
  EXPECT_EQ(text("ARTIST"), "Artist   ");
  EXPECT_EQ(text("MEMO"), "Comment");
  EXPECT_FALSE(tracks.field_by_name("SKIP").as_boolean());
  EXPECT_FALSE(tracks.field_by_name("SKIP").is_empty());
  EXPECT_TRUE(tracks.field_by_name("DATA").is_empty());
  EXPECT_TRUE(tracks.field_by_name("C1").is_empty());
}

// With the encoder's figures the time is the source's to the millisecond, not the frames' estimate.
TEST_F(ImportTrack, TheTimeOfAGaplessFileIsItsExactLength) {
  if (test::gapless_layer3_file().empty()) GTEST_SKIP() << "lame is missing; the test file cannot be made";
  const fs::path file = test::copy_track(test::gapless_layer3_file(), dir / "exact.mp3");
  ASSERT_TRUE(import_track(tracks, file, false).added());
  EXPECT_EQ(number("TRACKTOTAL"), 2000);
  EXPECT_GT(number("FRAMETOTAL") * 1152, 2 * 44100);
}

TEST_F(ImportTrack, StoresTheAudioWhenAsked) {
  const fs::path file = copy("stored.mp3");
  ASSERT_TRUE(import_track(tracks, file, true).added());
  tracks.field_by_name("DATA").save_to_file(dir / "out.mp3");
  EXPECT_EQ(test::read_file(dir / "out.mp3"), test::read_file(file));
}

TEST_F(ImportTrack, Layer2CrcAndMpeg2Texts) {
  ASSERT_TRUE(import_track(tracks, copy("two.mp2", test::layer2_file()), false).added());
  EXPECT_EQ(text("LAYER"), "II");
  EXPECT_EQ(text("SAMPLERATE"), "48 kHz");
  EXPECT_EQ(number("CHECKSUMS"), 1);
  if (test::mpeg2_layer3_file().empty()) return;
  ASSERT_TRUE(import_track(tracks, copy("lsf.mp3", test::mpeg2_layer3_file()), false).added());
  EXPECT_EQ(text("VERSION"), "MPEG-2 (LSF");  // cut to the column's 11 characters
  EXPECT_EQ(text("SAMPLERATE"), "22.05 kHz");
  EXPECT_EQ(text("MODE"), "Single Channel");
}

TEST_F(ImportTrack, Mpeg25TextsFitTheirColumns) {
  std::vector<uint8_t> mpeg25;  // MPEG 2.5 Layer III frames, 16 kbit/s at 11.025 kHz: 104 bytes each
  for (int i = 0; i < 4; ++i) {
    mpeg25.insert(mpeg25.end(), {0xFF, 0xE3, 0x20, 0xC4});
    mpeg25.resize(mpeg25.size() + 100);
  }
  test::write_file(dir / "11khz.mp3", mpeg25);
  ASSERT_TRUE(import_track(tracks, dir / "11khz.mp3", false).added());
  EXPECT_EQ(text("VERSION"), "MPEG-2.5");
  EXPECT_EQ(text("SAMPLERATE"), "11025 Hz");
  EXPECT_EQ(text("BITRATE"), "16 kbit/s");
  EXPECT_EQ(number("FRAMETOTAL"), 4);
  EXPECT_EQ(number("TRACKTOTAL"), 208);  // 4 frames of 576 samples at 11.025 kHz
}

TEST_F(ImportTrack, APictureInTheTagHidesNeitherFramesNorTexts) {
  ASSERT_TRUE(import_track(tracks, copy("plain.mp3"), false).added());
  const int frames = number("FRAMETOTAL");
  const fs::path file = copy("cover.mp3");
  const std::string long_title(50, 'L');
  test::add_id3v2(file, {long_title, "\xC3\x89milie", "", "", "a comment longer than thirty characters"}, true);
  ASSERT_TRUE(import_track(tracks, file, false).added());
  EXPECT_EQ(number("FRAMETOTAL"), frames);
  EXPECT_EQ(text("LAYER"), "III");
  EXPECT_EQ(text("TITLE"), long_title);
  EXPECT_EQ(text("ARTIST"), "\xC3\x89milie");
  EXPECT_EQ(text("MEMO"), "a comment longer than thirty characters");
}

TEST_F(ImportTrack, FilesThatAreNoTracksAreSkippedWithTheirReason) {
  std::vector<uint8_t> picture(20000);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7 + 1);
  test::write_file(dir / "picture.mp3", picture);
  test::write_file(dir / "empty.mp3", {});
  ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
  // A file cut just after the encoder's header that opens it.
  std::vector<uint8_t> header_only;
  test::append_frame(header_only, test::HeaderFields{1, 3, false, 9, 0, 0, 0}, {}, 417);
  std::memcpy(header_only.data() + 36, "Xing\0\0\0\x03\0\0\0\x64", 12);
  test::write_file(dir / "header-only.mp3", header_only);
  const std::pair<std::string, std::string> cases[] = {
      {"header-only.mp3", "no audio frame follows the encoder's header"},
      {"picture.mp3", "no MPEG audio frame header found"},
      {"empty.mp3", "no MPEG audio frame header found"},
      {"missing.mp3", "no such file"},
      {"pipe.mp3", "not a regular file"},
      {".", "is a folder"},
  };
  for (const auto& [name, reason] : cases) {
    const ImportOutcome outcome = import_track(tracks, dir / name, true);
    EXPECT_FALSE(outcome.added()) << name;
    EXPECT_EQ(outcome.skipped, reason) << name;
  }
  EXPECT_EQ(tracks.record_count(), 0);
  EXPECT_EQ(tracks.state(), TableState::Browse);
}

TEST_F(ImportTrack, AnOlderLibraryKeepsItsNarrowPad) {
  std::vector<ColumnDef> columns = track_columns();
  for (ColumnDef& column : columns) {
    if (column.name == "PAD") column.size = 120;
  }
  Table old("Old.db");
  old.set_location(dir.path());
  old.create_table(columns);
  old.open();
  fs::create_directories(dir / std::string(120, 'd'));
  const fs::path deep = copy(std::string(120, 'd') + "/deep.mp3");
  EXPECT_EQ(import_track(old, deep, false).skipped,
            "its path is longer than the 120 characters this database keeps for a file name");
  ASSERT_TRUE(import_track(old, deep, true).added());  // stored audio does not need the name
  EXPECT_EQ(old.field_by_name("PAD").as_text().size(), 120u);
  ASSERT_TRUE(import_track(old, copy("short.mp3"), false).added());
  EXPECT_EQ(old.record_count(), 2);
}

TEST_F(ImportTrack, LongTextsAreCutToTheRecordedWidthAndCounted) {
  const fs::path file = copy("long.mp3");
  test::add_id3v2(file, {std::string(300, 'T'), std::string(60, 'A'), "Album", "", ""});
  const ImportOutcome wide = import_track(tracks, file, false);
  ASSERT_TRUE(wide.added());
  EXPECT_EQ(text("TITLE"), std::string(255, 'T'));
  EXPECT_EQ(text("ARTIST"), std::string(60, 'A'));
  EXPECT_EQ(wide.texts_cut, 1);
  // A library made with 40 characters keeps them.
  std::vector<ColumnDef> columns = track_columns();
  for (ColumnDef& column : columns) {
    if (column.name == "TITLE" || column.name == "ARTIST" || column.name == "ALBUM") column.size = 40;
  }
  Table old("Old.db");
  old.set_location(dir.path());
  old.create_table(columns);
  old.open();
  ImportJob job(old, {file, copy("short.mp3")}, false);
  ASSERT_TRUE(run_to_end(job));
  EXPECT_EQ(job.texts_cut(), 2);
  old.first();
  EXPECT_EQ(old.field_by_name("TITLE").as_text(), std::string(40, 'T'));
  EXPECT_EQ(old.field_by_name("ALBUM").as_text(), "Album");
}

TEST_F(ImportTrack, FilesTheLibraryHoldsArePassedOverUnlessAsked) {
  fs::create_directories(dir / "in/sub");
  copy("in/1.mp3");
  copy("in/sub/2.mp3");
  ASSERT_TRUE(import_track(tracks, dir / "in/1.mp3", false).added());
  ImportJob again(tracks, {dir / "in", dir / "in/sub/2.mp3"}, false, true);
  ASSERT_TRUE(run_to_end(again));
  EXPECT_EQ(again.added(), 1) << "the file named twice is added once";
  EXPECT_EQ(again.known(), 2);
  EXPECT_TRUE(again.skipped().empty());
  EXPECT_EQ(tracks.record_count(), 2);
  EXPECT_EQ(known_files(tracks), (std::vector<std::string>{(dir / "in/1.mp3").string(), (dir / "in/sub/2.mp3").string()}));
  ImportJob asked(tracks, {dir / "in"}, false, false);
  ASSERT_TRUE(run_to_end(asked));
  EXPECT_EQ(asked.added(), 2);
  EXPECT_EQ(tracks.record_count(), 4);
}

TEST_F(ImportTrack, AReadOnlyLibraryRefusesWithNoRowLeft) {
  tracks.close();
  tracks.set_read_only(true);
  tracks.open();
  EXPECT_THROW(import_track(tracks, copy("song.mp3"), false), TableError);
  EXPECT_EQ(tracks.record_count(), 0);
  EXPECT_EQ(tracks.state(), TableState::Browse);
}

TEST(ImportFiles, FoldersAreSearchedForMpegFilesInAnyCaseSorted) {
  test::TempDir dir;
  fs::create_directories(dir / "music/b");
  for (const char* name : {"music/z.MP3", "music/a.mp2", "music/notes.txt", "music/b/c.Mp3", "music/b/d.mpa",
                           "loose.wav"}) {
    test::write_text(dir / name, "x");
  }
  std::vector<ImportOutcome> unusable;
  const std::vector<fs::path> files = import_files({dir / "loose.wav", dir / "music", dir / "gone"}, unusable);
  EXPECT_EQ(files, (std::vector<fs::path>{dir / "loose.wav", dir / "music/a.mp2", dir / "music/b/c.Mp3",
                                          dir / "music/z.MP3"}));
  ASSERT_EQ(unusable.size(), 1u);
  EXPECT_EQ(unusable[0].file, dir / "gone");
  EXPECT_EQ(unusable[0].skipped, "no such file or folder");
}

TEST_F(ImportTrack, JobAddsFilesStepByStepAndNamesTheSkipped) {
  fs::create_directories(dir / "in");
  copy("in/1.mp3");
  test::write_text(dir / "in/2.mp3", "no audio here");
  copy("in/3.mp2", test::layer2_file());
  ImportJob job(tracks, {dir / "in", dir / "gone.mp3"}, false);
  job.set_budget(std::chrono::milliseconds(0));  // a file a step
  EXPECT_EQ(job.progress().total, 3);
  EXPECT_TRUE(job.step());
  EXPECT_EQ(job.progress().done, 1);
  EXPECT_EQ(tracks.record_count(), 1);
  EXPECT_TRUE(run_to_end(job));
  EXPECT_EQ(job.progress().done, 3);
  EXPECT_EQ(job.added(), 2);
  ASSERT_EQ(job.outcomes().size(), 4u);  // the missing input first
  EXPECT_EQ(job.outcomes()[0].file, dir / "gone.mp3");
  EXPECT_EQ(job.outcomes()[3].record, 2);
  const std::vector<ImportOutcome> skipped = job.skipped();
  ASSERT_EQ(skipped.size(), 2u);
  EXPECT_EQ(skipped[1].file, dir / "in/2.mp3");
  tracks.close();
  tracks.open();
  EXPECT_EQ(tracks.record_count(), 2);
}

TEST_F(ImportTrack, CancelKeepsTheFilesAddedSoFar) {
  for (int i = 0; i < 4; ++i) copy(std::to_string(i) + ".mp3");
  ImportJob job(tracks, {dir / "0.mp3", dir / "1.mp3", dir / "2.mp3", dir / "3.mp3"}, true);
  job.set_budget(std::chrono::milliseconds(0));
  ASSERT_TRUE(job.step());
  ASSERT_TRUE(job.step());
  job.cancel();
  EXPECT_FALSE(job.step());
  EXPECT_TRUE(job.cancelled());
  EXPECT_EQ(job.added(), 2);
  tracks.close();
  tracks.open();
  EXPECT_EQ(tracks.record_count(), 2);
  tracks.first();
  tracks.next();
  EXPECT_FALSE(tracks.field_by_name("DATA").is_empty());
}

TEST_F(ImportTrack, StoringOnAFullDiskSaysWhyAndKeepsTheLibrary) {
  const fs::path small = dir / "small";
  test::SmallDisk disk(small);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small disk needs root";
  Table full;
  test::open_new_library(full, small, "Full");
  std::vector<fs::path> files;
  for (int i = 0; i < 12; ++i) {
    files.push_back(copy(std::to_string(i) + ".mp3"));
    std::ofstream(files.back(), std::ios::app | std::ios::binary) << std::string(480000, '\0');
  }
  ImportJob job(full, files, true);
  EXPECT_FALSE(run_to_end(job));
  // The step's transaction went with the error: what the user needs is why.
  EXPECT_NE(job.error().find("is full"), std::string::npos) << job.error();
  EXPECT_EQ(full.record_count(), job.added());
  ImportJob on_disk(full, {files[0]}, false);
  EXPECT_TRUE(run_to_end(on_disk)) << on_disk.error();
}

// A folder imported onto a nearly full disk: the step's transaction goes with the error, and the tracks that
// fit are kept all the same, as when the files are added one at a time.
TEST_F(ImportTrack, FullDiskKeepsEveryWholeTrackThatFits) {
  const fs::path small = dir / "small";
  test::SmallDisk disk(small);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small disk needs root";
  Table full;
  test::open_new_library(full, small, "Full");
  const fs::path folder = dir / "folder";
  fs::create_directory(folder);
  for (int i = 0; i < 40; ++i) {
    const fs::path file = folder / (std::to_string(100 + i) + ".mp3");
    fs::copy_file(copy("source.mp3"), file, fs::copy_options::overwrite_existing);
    std::ofstream(file, std::ios::app | std::ios::binary) << std::string(81000, '\0');
  }
  ImportJob job(full, {folder}, true);
  EXPECT_FALSE(run_to_end(job));
  EXPECT_NE(job.error().find("is full"), std::string::npos) << job.error();
  EXPECT_GT(job.added(), 10);
  EXPECT_LT(job.added(), 40);
  full.close();
  full.open();
  EXPECT_EQ(full.record_count(), job.added());
  for (int record = 1; record <= full.record_count(); ++record) {
    go_to_record(full, record);
    EXPECT_FALSE(full.field_by_name("DATA").is_empty()) << record;
  }
}

TEST_F(ImportTrack, AnEngineErrorEndsTheJobWithItsText) {
  tracks.close();
  tracks.set_read_only(true);
  tracks.open();
  ImportJob job(tracks, {copy("a.mp3")}, false);
  EXPECT_FALSE(run_to_end(job));
  EXPECT_NE(job.error().find("read-only"), std::string::npos) << job.error();
  EXPECT_EQ(job.added(), 0);
  EXPECT_EQ(tracks.record_count(), 0);
}

}  // namespace
}  // namespace vemla
