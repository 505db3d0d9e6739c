// Blob values: loading from and saving to files, including audio files far larger than is sensible to hold
// in memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>

#include "store_support.h"
#include "support.h"
#include "table.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

class BlobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::create_library(dir.path(), "Blobs");
    test::name_table(tracks, dir.path(), "Blobs.db");
    tracks.open();
  }
  Field data() { return tracks.field_by_name("DATA"); }

  test::TempDir dir;
  Table tracks;
};

TEST_F(BlobTest, LoadedFileIsStoredAtPostAndSavedBack) {
  std::string audio(300000, '\0');
  for (size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<char>(i * 7 + i / 251);
  test::write_text(dir / "in.mp3", audio);
  tracks.append();
  data().load_from_file(dir / "in.mp3");
  EXPECT_FALSE(data().is_empty());
  fs::remove(dir / "in.mp3");                // the value is what the file held when it was loaded
  data().save_to_file(dir / "pending.mp3");  // before the post: the pending value
  EXPECT_EQ(test::file_text(dir / "pending.mp3"), audio);
  tracks.post();
  tracks.close();
  tracks.open();
  EXPECT_FALSE(data().is_empty());
  test::write_text(dir / "out.mp3", "an older, longer file that is overwritten " + std::string(400000, 'x'));
  data().save_to_file(dir / "out.mp3");
  EXPECT_EQ(test::file_text(dir / "out.mp3"), audio);
}

TEST_F(BlobTest, EditingOtherFieldsKeepsTheBlob) {
  test::write_text(dir / "in.mp3", "stored audio");
  tracks.append();
  data().load_from_file(dir / "in.mp3");
  tracks.post();
  tracks.edit();
  tracks.field_by_name("TITLE").set_text("renamed");
  tracks.post();
  data().save_to_file(dir / "out.mp3");
  EXPECT_EQ(test::file_text(dir / "out.mp3"), "stored audio");
  // Loading another file replaces the value; an empty file empties it.
  test::write_text(dir / "other.mp3", "other audio");
  tracks.edit();
  data().load_from_file(dir / "other.mp3");
  tracks.refresh();
  data().save_to_file(dir / "out.mp3");
  EXPECT_EQ(test::file_text(dir / "out.mp3"), "other audio");
  test::write_text(dir / "empty.mp3", "");
  tracks.edit();
  data().load_from_file(dir / "empty.mp3");
  tracks.post();
  EXPECT_TRUE(data().is_empty());
}

TEST_F(BlobTest, AFileThatCannotBeOpenedIsAnErrorAndChangesNothing) {
  test::write_text(dir / "in.mp3", "kept audio");
  tracks.append();
  data().load_from_file(dir / "in.mp3");
  tracks.post();
  tracks.edit();
  EXPECT_THROW(data().load_from_file(dir / "missing.mp3"), TableError);
  EXPECT_THROW(data().load_from_file(dir.path()), TableError);  // a folder is no file
  tracks.refresh();
  data().save_to_file(dir / "out.mp3");
  EXPECT_EQ(test::file_text(dir / "out.mp3"), "kept audio");
  EXPECT_THROW(data().save_to_file(dir / "no folder" / "out.mp3"), TableError);
}

TEST_F(BlobTest, AnEmptyBlobSavesAnEmptyFile) {
  EXPECT_TRUE(data().is_empty());  // no row at all
  tracks.append();
  EXPECT_TRUE(data().is_empty());  // a new row
  tracks.post();
  EXPECT_TRUE(data().is_empty());
  test::write_text(dir / "out.mp3", "previous contents");
  data().save_to_file(dir / "out.mp3");
  EXPECT_TRUE(fs::exists(dir / "out.mp3"));
  EXPECT_EQ(fs::file_size(dir / "out.mp3"), 0u);
}

TEST_F(BlobTest, MemosLoadAndSaveAsText) {
  test::write_text(dir / "memo.txt", "line one\nline two");
  tracks.append();
  tracks.field_by_name("MEMO").load_from_file(dir / "memo.txt");
  tracks.post();
  tracks.field_by_name("MEMO").save_to_file(dir / "memo out.txt");
  EXPECT_EQ(test::file_text(dir / "memo out.txt"), "line one\nline two");
  EXPECT_THROW(tracks.field_by_name("TITLE").save_to_file(dir / "x"), TableError);
}

// The bytes of the large test file: a pattern that repeats only every 4 GiB, so that a misplaced chunk shows.
void fill_pattern(std::vector<uint32_t>& words, uint64_t first_word) {
  for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint32_t>((first_word + i) * 2654435761u);
}

constexpr uint64_t kLargeSize = uint64_t{200} << 20;
constexpr size_t kChunkWords = (size_t{1} << 20) / 4;

void write_large_file(const fs::path& file) {
  std::ofstream out(file, std::ios::binary);
  std::vector<uint32_t> words(kChunkWords);
  for (uint64_t word = 0; word < kLargeSize / 4; word += kChunkWords) {
    fill_pattern(words, word);
    out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size() * 4));
  }
}

bool has_large_pattern(const fs::path& file) {
  if (fs::file_size(file) != kLargeSize) return false;
  std::ifstream in(file, std::ios::binary);
  std::vector<uint32_t> words(kChunkWords), expected(kChunkWords);
  for (uint64_t word = 0; word < kLargeSize / 4; word += kChunkWords) {
    in.read(reinterpret_cast<char*>(words.data()), static_cast<std::streamsize>(words.size() * 4));
    fill_pattern(expected, word);
    if (!in || words != expected) return false;
  }
  return true;
}

TEST(LargeBlob, TwoHundredMegabytesLoadAndSaveWithBoundedMemory) {
  test::TempDir dir;
  test::create_library(dir.path(), "Big");
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  // In a child, so that the peak resident size measures this work alone.
  const int status = test::in_child([&] {
    write_large_file(dir / "big.mp3");
    Table tracks("Big.db");
    tracks.set_location(dir.path());
    tracks.open();
    const long before = test::peak_rss_kb();
    tracks.append();
    tracks.field_by_name("TITLE").set_text("big");
    tracks.field_by_name("DATA").load_from_file(dir / "big.mp3");
    fs::remove(dir / "big.mp3");
    tracks.post();
    tracks.close();
    tracks.open();
    tracks.field_by_name("DATA").save_to_file(dir / "saved.mp3");
    const long growth = test::peak_rss_kb() - before;
    return ::write(report[1], &growth, sizeof growth) == sizeof growth ? 0 : 1;
  });
  ASSERT_EQ(status, 0);
  long growth_kb = 0;
  ASSERT_EQ(::read(report[0], &growth_kb, sizeof growth_kb), static_cast<ssize_t>(sizeof growth_kb));
  // Holding the file once would take 200 MB; chunks and the page cache of the engine take a few.
  EXPECT_LT(growth_kb, 32 * 1024) << "peak resident size grew by " << growth_kb << " kB";
  RecordProperty("peak_growth_kb", std::to_string(growth_kb));
  EXPECT_TRUE(has_large_pattern(dir / "saved.mp3"));
  EXPECT_GT(fs::file_size(dir / "Big.mb"), kLargeSize);
}

}  // namespace
}  // namespace vemla
