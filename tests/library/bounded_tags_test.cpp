// Hostile and unusual ID3v2 and APE tags: frames beyond any real size are passed over with their reason,
// compressed frames are inflated within a bound, and what is left of the tag is still read.
#include "bounded_tags.h"

#include <gtest/gtest.h>

#include <random>

#include "support.h"
#include "track_files.h"
#include "track_tag.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

#define REQUIRE_LAME() \
  if (test::layer3_file().empty()) GTEST_SKIP() << "lame is missing; the test files cannot be made"

constexpr uint8_t kV24Compressed = 0x08 | 0x01;  // compression with its data-length indicator

bool mentions(const std::vector<std::string>& reasons, const std::string& part) {
  for (const std::string& reason : reasons)
    if (reason.find(part) != std::string::npos) return true;
  return false;
}

class BoundedTags : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_LAME(); }
  fs::path track(const std::string& name) { return test::copy_track(test::layer3_file(), dir / name); }
  test::TempDir dir;
};

TEST_F(BoundedTags, CompressedFrameClaimingAGigabyteIsPassedOver) {
  const fs::path file = track("bomb.mp3");
  // The data-length indicator says 1 GB; the data itself need not be read to pass it over.
  const std::string bomb = test::syncsafe((1u << 28) - 1 /* the most it can say */) + test::zlib_of("x");
  test::prepend_id3v2(file, 4, 0,
                      test::id3v2_frame(4, "TIT2", bomb, kV24Compressed) +
                          test::id3v2_frame(4, "TPE1", test::latin1_text("The Artist")));
  const TagReading reading = read_tags(file);
  EXPECT_EQ(reading.texts.title, "");
  EXPECT_EQ(reading.texts.artist, "The Artist");
  ASSERT_EQ(reading.passed_over.size(), 1u);
  EXPECT_TRUE(mentions(reading.passed_over, "frame TIT2 (268.4 MB unpacked)")) << reading.passed_over[0];
}

TEST_F(BoundedTags, LyingLengthIndicatorStopsTheInflating) {
  const fs::path file = track("liar.mp3");
  // Says 100 bytes, unpacks to 64 MB.
  const std::string liar = test::syncsafe(100) + test::zlib_zeros(64 << 20);
  test::prepend_id3v2(file, 4, 0,
                      test::id3v2_frame(4, "TALB", liar, kV24Compressed) +
                          test::id3v2_frame(4, "TIT2", test::latin1_text("Title")));
  const TagReading reading = read_tags(file);
  EXPECT_EQ(reading.texts.title, "Title");
  EXPECT_EQ(reading.texts.album, "");
  EXPECT_TRUE(mentions(reading.passed_over, "TALB is damaged or unpacks to more than the 100 bytes"));
}

TEST_F(BoundedTags, HonestCompressedFramesOfBothVersionsAreRead) {
  const fs::path v4 = track("v4.mp3");
  const std::string title = test::latin1_text("Packed title");
  test::prepend_id3v2(v4, 4, 0,
                      test::id3v2_frame(4, "TIT2", test::syncsafe(title.size()) + test::zlib_of(title), kV24Compressed));
  EXPECT_EQ(read_tags(v4).texts.title, "Packed title");
  EXPECT_TRUE(read_tags(v4).passed_over.empty());

  // ID3v2.3 puts the unpacked size in the data's first four bytes.
  const fs::path v3 = track("v3.mp3");
  const std::string size{'\0', '\0', '\0', static_cast<char>(title.size())};
  test::prepend_id3v2(v3, 3, 0, test::id3v2_frame(3, "TIT2", size + test::zlib_of(title), 0x80));
  EXPECT_EQ(read_tags(v3).texts.title, "Packed title");
}

TEST_F(BoundedTags, UnsynchronisedV23TagIsReadWhole) {
  const fs::path file = track("unsync.mp3");
  // The whole tag unsynchronised: a zero byte after every 0xFF (y with diaeresis in Latin-1), the frame
  // sizes counting the bytes before that.
  const std::string frames =
      test::id3v2_frame(3, "TIT2", test::latin1_text("A\xFF" "B")) + test::id3v2_frame(3, "TPE1", test::latin1_text("Who"));
  std::string stored;
  for (const char c : frames) {
    stored += c;
    if (c == '\xFF') stored += '\0';
  }
  test::prepend_id3v2(file, 3, 0x80, stored);
  const TagReading reading = read_tags(file);
  EXPECT_EQ(reading.texts.title, "A\xC3\xBF" "B");
  EXPECT_EQ(reading.texts.artist, "Who");
}

TEST_F(BoundedTags, OversizedFramesAndTagsAreNamedAndSkipped) {
  const fs::path file = track("big.mp3");
  // A 20 MB private frame and a 2 MB comment, neither read; the title after them still is.
  test::prepend_id3v2(file, 4, 0,
                      test::id3v2_frame(4, "PRIV", std::string(20 << 20, 'p')) +
                          test::id3v2_frame(4, "COMM", std::string("\0eng\0", 5) + std::string(2 << 20, 'c')) +
                          test::id3v2_frame(4, "TIT2", test::latin1_text("After")));
  TagReading reading = read_tags(file);
  EXPECT_EQ(reading.texts.title, "After");
  EXPECT_EQ(reading.texts.comment, "");
  EXPECT_TRUE(mentions(reading.passed_over, "frame PRIV (21.0 MB)"));
  EXPECT_TRUE(mentions(reading.passed_over, "frame COMM (2.1 MB)"));

  // An APE tag beyond its bound is passed over whole.
  const fs::path ape = track("ape.mp3");
  test::add_ape(ape, TagTexts{"Small", "", "", "", ""});
  std::vector<uint8_t> bytes = test::read_file(ape);
  const size_t footer = bytes.size() - 32;
  const uint32_t claimed = 64u << 20;
  for (int i = 0; i < 4; ++i) bytes[footer + 12 + i] = static_cast<uint8_t>(claimed >> (8 * i));
  bytes.insert(bytes.begin(), claimed, 0);  // room for what the footer claims
  test::write_file(ape, bytes);
  reading = read_tags(ape);
  EXPECT_TRUE(mentions(reading.passed_over, "APE tag (67.1 MB)"));
}

TEST_F(BoundedTags, TruncatedAndGarbledTagsEndTheWalkQuietly) {
  const fs::path file = track("cut.mp3");
  // A frame claiming more than the tag holds, then garbage where a header should be.
  std::string frames = test::id3v2_frame(4, "TIT2", test::latin1_text("Kept"));
  frames += "TPE1" + test::syncsafe(1000) + std::string(2, '\0') + "short";
  test::prepend_id3v2(file, 4, 0, frames);
  EXPECT_EQ(read_tags(file).texts.title, "Kept");
  const fs::path garbled = track("garbled.mp3");
  test::prepend_id3v2(garbled, 4, 0, test::id3v2_frame(4, "TIT2", test::latin1_text("Kept")) + "\x01\x02zz????????");
  EXPECT_EQ(read_tags(garbled).texts.title, "Kept");
}

TEST_F(BoundedTags, DamagedBytesAnywhereInTheTagsAreSurvived) {
  // A file with every kind of tag the reader walks, then the same with bytes of its tags changed at random:
  // each is read without a fault (the sanitizer build checks every access) and within the bounds.
  const fs::path source = track("all.mp3");
  const std::string title = test::latin1_text("Packed");
  test::prepend_id3v2(source, 4, 0,
                      test::id3v2_frame(4, "TIT2", test::syncsafe(title.size()) + test::zlib_of(title), kV24Compressed) +
                          test::id3v2_frame(4, "TXXX", test::latin1_text("REPLAYGAIN_TRACK_GAIN") + '\0' + "-3 dB") +
                          test::id3v2_frame(4, "TPE1", test::latin1_text("Artist"), 0x02));
  test::add_replaygain_ape(source, ReplayGain{-2.0, 0.5, {}, {}});
  const std::vector<uint8_t> original = test::read_file(source);
  const size_t head = std::min<size_t>(original.size(), 200), tail = std::min<size_t>(original.size(), 300);
  std::mt19937 random(11);
  const fs::path file = dir / "damaged.mp3";
  for (int round = 0; round < 1500; ++round) {
    std::vector<uint8_t> bytes = original;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const size_t at = random() % (head + tail);
      const size_t index = at < head ? at : bytes.size() - tail + (at - head);
      bytes[index] = static_cast<uint8_t>(random() % 3 == 0 ? 0xFF : random());
    }
    test::write_file(file, bytes);
    const TagReading reading = read_tags(file);
    ASSERT_LE(reading.passed_over.size(), 8u);
    ASSERT_LE(reading.texts.title.size() + reading.texts.artist.size(), 4u * kMaxKeptFrames);
  }
}

}  // namespace
}  // namespace vemla
