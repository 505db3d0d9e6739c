#include "cover_picture.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <fstream>
#include <string>
#include <vector>

#include "data.h"
#include "store_support.h"
#include "support.h"
#include "track_files.h"
#include "track_import.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using Type = TagLib::ID3v2::AttachedPictureFrame::Type;

struct Picture {
  Type type;
  std::string bytes;
};

// Puts pictures into the file's ID3 version 2 tag, in this order.
void add_pictures(const fs::path& file, const std::vector<Picture>& pictures) {
  TagLib::MPEG::File tagged(file.c_str());
  TagLib::ID3v2::Tag* tag = tagged.ID3v2Tag(true);
  for (const Picture& picture : pictures) {
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setType(picture.type);
    frame->setMimeType("image/png");
    frame->setPicture(TagLib::ByteVector(picture.bytes.data(), static_cast<unsigned>(picture.bytes.size())));
    tag->addFrame(frame);
  }
  tagged.save(TagLib::MPEG::File::ID3v2);
}

class CoverPictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::layer3_file().empty()) GTEST_SKIP() << "lame is needed to make the tracks";
  }
  fs::path track(const std::string& name) { return test::copy_track(test::layer3_file(), dir / name); }
  test::TempDir dir;
};

TEST_F(CoverPictureTest, TheFrontCoverWinsElseTheFirstPicture) {
  const fs::path both = track("both.mp3");
  add_pictures(both, {{Type::BackCover, "back"}, {Type::FrontCover, "front"}, {Type::Artist, "artist"}});
  EXPECT_EQ(cover_of_file(both).bytes, "front");
  EXPECT_EQ(cover_of_file(both).mime, "image/png");
  const fs::path others = track("others.mp3");
  add_pictures(others, {{Type::Artist, "artist"}, {Type::BackCover, "back"}});
  EXPECT_EQ(cover_of_file(others).bytes, "artist");
  // A picture beyond the bound is passed over; the next one serves.
  const fs::path large = track("large.mp3");
  add_pictures(large, {{Type::FrontCover, std::string(kMaxCoverPicture + 1, 'x')}, {Type::Other, "small"}});
  EXPECT_EQ(cover_of_file(large).bytes, "small");
  EXPECT_TRUE(cover_of_file(track("plain.mp3")).empty());
  EXPECT_TRUE(cover_of_file(dir / "missing.mp3").empty());
}

TEST_F(CoverPictureTest, APictureFileBesideTheTrackServesWhereTheTagHasNone) {
  fs::create_directories(dir / "album");
  const fs::path plain = test::copy_track(test::layer3_file(), dir / "album/plain.mp3");
  test::write_text(dir / "album/Folder.JPG", "folder picture");
  EXPECT_EQ(cover_of_file(plain).bytes, "folder picture");
  test::write_text(dir / "album/cover.jpg", "cover picture");
  EXPECT_EQ(cover_of_file(plain).bytes, "cover picture") << "cover.jpg before folder.jpg";
  EXPECT_EQ(cover_of_file(plain).mime, "image/jpeg");
  add_pictures(plain, {{Type::FrontCover, "in the tag"}});
  EXPECT_EQ(cover_of_file(plain).bytes, "in the tag") << "the tag's own picture first";
}

TEST_F(CoverPictureTest, TagLengthsAndDamagedTags) {
  const uint8_t header[10] = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 1};
  EXPECT_EQ(id3v2_length(header), 10u + 257u);
  const uint8_t footer[10] = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 5};
  EXPECT_EQ(id3v2_length(footer), 25u);
  const uint8_t bad_size[10] = {'I', 'D', '3', 4, 0, 0, 0x80, 0, 0, 0};
  EXPECT_EQ(id3v2_length(bad_size), 0u);
  EXPECT_EQ(id3v2_length(std::span<const uint8_t>(header, 9)), 0u);
  // A tag cut short or full of noise gives no picture and no crash.
  std::vector<uint8_t> noise(4096);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 131 + 7);
  std::copy(std::begin(header), std::end(header), noise.begin());
  EXPECT_TRUE(picture_in_tag(noise).empty());
  EXPECT_TRUE(picture_in_tag(std::span<const uint8_t>(noise.data(), 12)).empty());
}

TEST_F(CoverPictureTest, AStoredTrackGivesItsTag) {
  const fs::path file = track("stored.mp3");
  add_pictures(file, {{Type::FrontCover, "stored cover"}});
  Tdb db(dir.path());
  test::create_library(dir.path(), "Lib");
  test::name_table(db.Table1, dir.path(), "Lib.db");
  db.Table1.open();
  ASSERT_TRUE(import_track(db.Table1, track("kept.mp3"), false).added());
  EXPECT_TRUE(stored_tag(db.Table1).empty()) << "its audio is kept on disk";
  ASSERT_TRUE(import_track(db.Table1, file, true).added());
  const std::string tag = stored_tag(db.Table1);
  ASSERT_FALSE(tag.empty());
  EXPECT_EQ(picture_in_tag({reinterpret_cast<const uint8_t*>(tag.data()), tag.size()}).bytes, "stored cover");
}

// A tag of a megabyte whose frames unpack to gigabytes: the picture is still found, and reading it takes no
// more memory than the bounds allow (measured in a child process, whose peak starts at the parent's size).
TEST_F(CoverPictureTest, CompressedFramesAreUnpackedWithinTheBound) {
  const fs::path file = track("bomb.mp3");
  const std::string zeros = test::zlib_zeros(256u << 20);
  // A title that says so, a picture that says 100 bytes, then the front cover.
  const std::string front = std::string("\0image/png\0\x03\0front", 18);
  test::prepend_id3v2(file, 4, 0,
                      test::id3v2_frame(4, "TIT2", test::syncsafe((256u << 20) - 1) + zeros, 0x09) +
                          test::id3v2_frame(4, "APIC", test::syncsafe(100) + zeros, 0x09) +
                          test::id3v2_frame(4, "APIC", front));
  const int status = test::in_child([&] {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const CoverPicture picture = cover_of_file(file);
    getrusage(RUSAGE_SELF, &after);
    if (picture.bytes != "front") return 1;
    return after.ru_maxrss - before.ru_maxrss < 100 * 1024 ? 0 : 2;
  });
  EXPECT_EQ(status, 0) << "1: the picture was not found; 2: reading it took 100 MB or more";
}

}  // namespace
}  // namespace vemla
