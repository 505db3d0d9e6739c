// ReplayGain values from every place files keep them: ID3v2 user texts, relative volume frames, APE items and
// the LAME header, and which of them wins.
#include "replaygain_tags.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support.h"
#include "track_files.h"
#include "track_tag.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

#define REQUIRE_LAME() \
  if (test::layer3_file().empty()) GTEST_SKIP() << "lame is missing; the test files cannot be made"

const ReplayGain kGains{-6.5, 0.912, -7.25, 0.988};

TEST(ReplayGainText, NumbersAsTaggersWriteThem) {
  EXPECT_EQ(parse_replaygain_number("-6.52 dB"), -6.52);
  EXPECT_EQ(parse_replaygain_number("+3.1"), 3.1);
  EXPECT_EQ(parse_replaygain_number(" -0.5dB"), -0.5);
  EXPECT_EQ(parse_replaygain_number("0.988312"), 0.988312);
  EXPECT_EQ(parse_replaygain_number("2 DB "), 2.0);
  for (const char* bad : {"", "dB", "abc", "5 apples", "nan", "inf dB", "1e999"})
    EXPECT_FALSE(parse_replaygain_number(bad)) << bad;
}

TEST(ReplayGainTags, EachKindOfTagGivesTheSameValues) {
  REQUIRE_LAME();
  test::TempDir dir;
  const fs::path txxx = test::copy_track(test::layer3_file(), dir / "txxx.mp3");
  test::add_replaygain_txxx(txxx, kGains);
  EXPECT_EQ(read_tags(txxx).gain, kGains);

  const fs::path ape = test::copy_track(test::layer3_file(), dir / "ape.mp3");
  test::add_replaygain_ape(ape, kGains);
  EXPECT_EQ(read_tags(ape).gain, kGains);

  // RVA2 keeps gains in 1/512 dB and these peaks in 16 bits.
  const fs::path rva2 = test::copy_track(test::layer3_file(), dir / "rva2.mp3");
  test::add_replaygain_rva2(rva2, kGains);
  const ReplayGain read = read_tags(rva2).gain;
  ASSERT_TRUE(read.track_gain && read.track_peak && read.album_gain && read.album_peak);
  EXPECT_NEAR(*read.track_gain, -6.5, 1.0 / 512);
  EXPECT_NEAR(*read.album_gain, -7.25, 1.0 / 512);
  EXPECT_NEAR(*read.track_peak, 0.912, 1e-4);
  EXPECT_NEAR(*read.album_peak, 0.988, 1e-4);
}

TEST(ReplayGainTags, UserTextsWinOverApeAndTheMissingStayUnknown) {
  REQUIRE_LAME();
  test::TempDir dir;
  const fs::path file = test::copy_track(test::layer3_file(), dir / "both.mp3");
  test::add_replaygain_ape(file, kGains);
  test::add_replaygain_txxx(file, ReplayGain{-2.0, std::nullopt, std::nullopt, std::nullopt});
  const ReplayGain read = read_tags(file).gain;
  EXPECT_EQ(read.track_gain, -2.0);
  EXPECT_FALSE(read.track_peak);
  EXPECT_FALSE(read.album_gain);
  // A file without any keeps none.
  EXPECT_TRUE(read_tags(test::layer3_file()).gain.empty());
}

// A Layer III frame body (MPEG-1 stereo: 32 bytes of side information) holding an Info header with all four
// fields, then LAME's header with the given peak and gain fields.
std::vector<uint8_t> lame_body(uint32_t peak, uint16_t radio, uint16_t audiophile) {
  std::vector<uint8_t> body(417, 0);
  size_t at = 32;
  std::memcpy(&body[at], "Info", 4);
  body[at + 7] = 0x0F;
  at += 8 + 4 + 4 + 100 + 4;
  std::memcpy(&body[at], "LAME3.100", 9);
  at += 11;
  for (int i = 0; i < 4; ++i) body[at + i] = static_cast<uint8_t>(peak >> (24 - 8 * i));
  body[at + 4] = static_cast<uint8_t>(radio >> 8), body[at + 5] = static_cast<uint8_t>(radio);
  body[at + 6] = static_cast<uint8_t>(audiophile >> 8), body[at + 7] = static_cast<uint8_t>(audiophile);
  return body;
}

TEST(ReplayGainTags, LameHeaderFieldsByNameCodeAndSign) {
  // Name code 1 (radio) and 2 (audiophile), originator 3 (automatic), sign bit, tenths of a dB.
  const uint16_t radio = 1 << 13 | 3 << 10 | 1 << 9 | 65;  // -6.5 dB
  const uint16_t audiophile = 2 << 13 | 3 << 10 | 12;      // +1.2 dB
  std::vector<uint8_t> body = lame_body(uint32_t{1} << 22, radio, audiophile);
  ReplayGain gain = replaygain_from_lame(body.data(), body.size(), 1, 0);
  EXPECT_EQ(gain.track_gain, -6.5);
  EXPECT_EQ(gain.album_gain, 1.2);
  EXPECT_EQ(gain.track_peak, 0.5);
  // Fields without an originator, or under the wrong name, are unset; so is all without "LAME".
  body = lame_body(0, 1 << 13 | 65, 1 << 13 | 3 << 10 | 12);
  EXPECT_TRUE(replaygain_from_lame(body.data(), body.size(), 1, 0).empty());
  body = lame_body(0, radio, 0);
  std::memcpy(&body[32 + 120], "Fake", 4);
  EXPECT_TRUE(replaygain_from_lame(body.data(), body.size(), 1, 0).empty());
  // A body too short for the fields is read no further than its end.
  EXPECT_TRUE(replaygain_from_lame(body.data(), 150, 1, 0).empty());
}

}  // namespace
}  // namespace vemla
