// Frame headers, the CRC register and the frame reader: what the decoder derives from a header, how frames
// are found in a file and how the reader positions itself at a frame.
#include "header.h"

#include <gtest/gtest.h>

#include <string>

#include "bitstream.h"
#include "crc.h"
#include "frame_builder.h"
#include "notifier.h"
#include "stream_bytes.h"
#include "support.h"

namespace vemla::test {
namespace {

TEST(Crc16Test, FollowsTheStandardPolynomial) {
  Crc16 crc;
  EXPECT_EQ(crc.take_checksum(), 0xFFFF);  // nothing fed
  EXPECT_EQ(crc.take_checksum(), 0xFFFF);  // and it starts again from 0xFFFF
  for (char c : std::string("123456789")) crc.feed_bits(static_cast<uint8_t>(c), 8);
  EXPECT_EQ(crc.take_checksum(), 0xAEE7);  // x^16 + x^15 + x^2 + 1, initial 0xFFFF, no inversion
  // Bits fed one at a time give what the same bits in one word give.
  Crc16 bitwise;
  for (int i = 15; i >= 0; --i) bitwise.feed_bits((0xA5C3u >> i) & 1, 1);
  crc.feed_bits(0xA5C3, 16);
  EXPECT_EQ(bitwise.take_checksum(), crc.take_checksum());
}

struct SizeCase {
  HeaderFields h;
  unsigned frame_size;     // bytes after the header
  int main_data_slots;
};

TEST(HeaderTest, FrameSizesOfEveryLayerAndVersion) {
  const SizeCase cases[] = {
      // Layer III, 128 kbit/s, 44.1 kHz, stereo: 417 bytes, 381 of them main data; padded 418.
      {{1, 3, false, 9, 0, 0, 0}, 413, 381},
      {{1, 3, false, 9, 0, 1, 0}, 414, 382},
      {{1, 3, true, 9, 0, 0, 3}, 413, 417 - 17 - 2 - 4},  // mono with CRC
      // Layer II, 384 kbit/s, 32 kHz, padded: 1729 bytes, the largest frame there is.
      {{1, 2, false, 14, 2, 1, 0}, 1725, 0},
      // Layer I, 448 kbit/s, 32 kHz, padded: 676 bytes.
      {{1, 1, false, 14, 2, 1, 0}, 672, 0},
      // LSF Layer III, 64 kbit/s, 22.05 kHz: 72 x 64000 / 22050 = 208 bytes, 17 bytes of side information.
      {{0, 3, false, 8, 0, 0, 1}, 204, 208 - 17 - 4},
      // LSF Layer II keeps 1152 samples a frame: 144 x 64000 / 24000 = 384 bytes.
      {{0, 2, false, 8, 1, 0, 0}, 380, 0},
      // LSF Layer I, 64 kbit/s, 16 kHz: 48 slots of 4 bytes.
      {{0, 1, false, 4, 2, 0, 0}, 188, 0},
      // MPEG 2.5 halves the LSF rates: 64 kbit/s Layer III at 11.025 kHz is 72 x 64000 / 11025 = 417 bytes.
      {{2, 3, false, 8, 0, 0, 1}, 413, 417 - 17 - 4},
      {{2, 3, false, 8, 0, 1, 3}, 414, 418 - 9 - 4},
      // 8 kbit/s at 8 kHz, the shortest: 72 bytes.
      {{2, 3, false, 1, 2, 0, 0}, 68, 72 - 17 - 4},
      // The longest frame there is: 160 kbit/s MPEG 2.5 Layer II at 8 kHz, padded, 2881 bytes.
      {{2, 2, false, 14, 2, 1, 0}, 2877, 0},
  };
  TempDir dir;
  for (const SizeCase& c : cases) {
    Opened o;
    open_bytes(o, dir, frames(c.h, c.frame_size + 4, 3));
    ASSERT_TRUE(o.ok) << "layer " << c.h.layer << " index " << c.h.bitrate_index;
    EXPECT_EQ(o.header.frame_size(), c.frame_size);
    EXPECT_EQ(o.header.main_data_slots(), c.main_data_slots);
  }
}

struct SubbandCase {
  HeaderFields h;
  unsigned subbands;
  unsigned bound;
};

TEST(HeaderTest, SubbandCountsAndIntensityBound) {
  const SubbandCase cases[] = {
      {{1, 1, false, 14, 1, 0, 1, 3}, 32, 16},  // Layer I joint stereo, mode extension 3
      {{1, 1, false, 14, 1, 0, 1, 0}, 32, 4},
      {{1, 2, false, 10, 1, 0, 1, 3}, 27, 16},  // 192 kbit/s stereo at 48 kHz: 27 subbands, bound stays 16
      {{1, 2, false, 6, 0, 0, 1, 3}, 8, 8},     // 96 kbit/s stereo (48 a channel): 8 subbands, bound lowered
      {{1, 2, false, 2, 2, 0, 3, 0}, 12, 0},    // 48 kbit/s mono at 32 kHz: 12 subbands
      {{1, 2, false, 2, 0, 0, 0, 0}, 30, 0},    // the same index in stereo wraps below index 4: 30 at 44.1 kHz
      {{1, 2, false, 2, 1, 0, 0, 0}, 27, 0},    // and 27 at 48 kHz
      {{1, 2, false, 5, 1, 0, 0, 0}, 8, 0},     // 80 kbit/s stereo: the low-rate table, 8 subbands
      {{1, 2, false, 5, 2, 0, 0, 0}, 12, 0},    // 12 at 32 kHz
      {{0, 2, false, 8, 1, 0, 1, 1}, 30, 8},    // LSF Layer II: one allocation table of 30 subbands
  };
  TempDir dir;
  for (const SubbandCase& c : cases) {
    Opened o;
    const HeaderFields& h = c.h;
    // Frame length from the header itself: the frames' own lengths are tested above.
    const unsigned bitrates[2][16] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
                                      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0}};
    const unsigned rates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};
    const size_t length = h.layer == 1 ? 12 * 448000 / rates[h.version][h.sample_frequency] * 4
                                       : 144 * bitrates[h.version][h.bitrate_index] * 1000 / rates[h.version][h.sample_frequency];
    open_bytes(o, dir, frames(h, length, 2));
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.header.subband_count(), c.subbands) << "index " << h.bitrate_index;
    EXPECT_EQ(o.header.intensity_stereo_bound(), c.bound) << "index " << h.bitrate_index;
  }
}

TEST(HeaderTest, EstimatesAndTexts) {
  TempDir dir;
  // 1,000,000 bytes of 128 kbit/s, 44.1 kHz Layer III: 2398 whole frames of 417 bytes.
  std::vector<uint8_t> bytes = frames({1, 3, false, 9, 0, 0, 1}, 417, 2398);
  bytes.resize(1000000, 0);
  Opened o;
  open_bytes(o, dir, bytes);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.header.frame_count_estimate(*o.stream), 2398u);
  EXPECT_FLOAT_EQ(o.header.total_duration_ms(*o.stream), 2398 * 26.12245f);
  EXPECT_STREQ(o.header.version_text(), "MPEG-1");
  EXPECT_STREQ(o.header.layer_text(), "III");
  EXPECT_STREQ(o.header.bitrate_text(), "128 kbit/s");
  EXPECT_STREQ(o.header.sample_rate_text(), "44.1 kHz");
  EXPECT_STREQ(o.header.mode_text(), "Joint Stereo");

  Opened lsf;
  open_bytes(lsf, dir, frames({0, 2, true, 8, 2, 0, 3}, 144 * 64000 / 16000, 10), "lsf.mp2");
  ASSERT_TRUE(lsf.ok);
  EXPECT_STREQ(lsf.header.version_text(), "MPEG-2 (LSF)");
  EXPECT_STREQ(lsf.header.bitrate_text(), "64 kbit/s");
  EXPECT_STREQ(lsf.header.sample_rate_text(), "16 kHz");
  EXPECT_STREQ(lsf.header.mode_text(), "Single Channel");
  EXPECT_EQ(lsf.header.protection_bit(), 0);
  // An LSF Layer II frame lasts 1152 samples: 72 ms at 16 kHz.
  EXPECT_FLOAT_EQ(lsf.header.frame_duration_ms(), 72.0f);
  EXPECT_EQ(lsf.header.frame_count_estimate(*lsf.stream), 10u);

  // A Layer I frame pads with a slot of four bytes: 384 kbit/s at 44.1 kHz is 416 bytes, padded 420. The
  // count divides by the unpadded length whichever frame comes first.
  std::vector<uint8_t> padded_layer1;
  for (int k = 0; k < 100; ++k) {
    const int padding = k % 2 == 0;
    append_frame(padded_layer1, HeaderFields{1, 1, false, 12, 0, padding, 0}, {}, 416 + 4 * padding);
  }
  Opened p1;
  open_bytes(p1, dir, padded_layer1, "padded.mp1");
  ASSERT_TRUE(p1.ok);
  EXPECT_EQ(p1.header.frame_count_estimate(*p1.stream), 100u);
  for (int n : {77, 3, 50}) {
    ASSERT_TRUE(p1.header.seek_to_frame(*p1.stream, n));
    EXPECT_EQ(p1.stream->header_offset(), n * 416u + (n + 1) / 2 * 4u);
  }

  Opened layer1;
  open_bytes(layer1, dir, frames({1, 1, false, 14, 2, 0, 2}, 672, 3), "l1.mp1");
  ASSERT_TRUE(layer1.ok);
  EXPECT_STREQ(layer1.header.bitrate_text(), "448 kbit/s");
  EXPECT_STREQ(layer1.header.layer_text(), "I");
  EXPECT_STREQ(layer1.header.mode_text(), "Dual Channel");
  EXPECT_FLOAT_EQ(layer1.header.frame_duration_ms(), 12.0f);

  // MPEG 2.5: its own version text and rates, each within the library's 9-character column; a Layer III
  // frame lasts 576 samples.
  const char* const texts[3] = {"11025 Hz", "12 kHz", "8 kHz"};
  const float durations[3] = {52.244898f, 48.0f, 72.0f};
  const unsigned rates[3] = {11025, 12000, 8000};
  for (int code = 0; code < 3; ++code) {
    Opened low;
    const HeaderFields h{2, 3, false, 2, code, 0, 3};  // 16 kbit/s, one channel
    open_bytes(low, dir, frames(h, 72 * 16000 / rates[code], 10), "low.mp3");
    ASSERT_TRUE(low.ok) << rates[code];
    EXPECT_TRUE(low.header.mpeg25());
    EXPECT_EQ(low.header.version(), 0);  // the rules of the lower sampling frequencies
    EXPECT_STREQ(low.header.version_text(), "MPEG-2.5");
    EXPECT_STREQ(low.header.sample_rate_text(), texts[code]);
    EXPECT_LE(std::string(texts[code]).size(), 9u);
    EXPECT_STREQ(low.header.bitrate_text(), "16 kbit/s");
    EXPECT_EQ(low.header.frequency(), rates[code]);
    EXPECT_EQ(low.header.samples_per_frame(), 576u);
    EXPECT_FLOAT_EQ(low.header.frame_duration_ms(), durations[code]);
    EXPECT_EQ(low.header.frame_count_estimate(*low.stream), 10u);
  }
}

// A variable bit rate stream without an encoder's header, starting in silence at the lowest rate: dividing by
// the first frame's length would make it six times as long.
TEST(HeaderTest, AStreamWhoseBitRateChangesIsCounted) {
  TempDir dir;
  std::vector<uint8_t> bytes = frames({1, 3, false, 1, 0, 0, 1}, 104, 40);  // 32 kbit/s
  for (int k = 0; k < 200; ++k) {
    const std::vector<uint8_t> loud =
        frames({1, 3, false, k % 3 == 0 ? 14 : 9, 0, 0, 1}, k % 3 == 0 ? 1044 : 417, 1);
    bytes.insert(bytes.end(), loud.begin(), loud.end());
  }
  Opened o;
  open_bytes(o, dir, bytes, "vbr.mp3");
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.header.frame_count_estimate(*o.stream), 240u);
  EXPECT_FLOAT_EQ(o.header.total_duration_ms(*o.stream), 240 * 26.12245f);

  // A constant rate keeps the division, damage and all.
  std::vector<uint8_t> cbr = frames({1, 3, false, 9, 0, 0, 1}, 417, 300);
  cbr.resize(cbr.size() + 2000, 0x55);
  Opened c;
  open_bytes(c, dir, cbr, "cbr.mp3");
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.header.frame_count_estimate(*c.stream), (300u * 417 + 2000) / 417);
}

TEST(HeaderSearchTest, FindsTheFirstFrameBehindZerosTagsAndLookalikes) {
  TempDir dir;
  const HeaderFields h{1, 2, false, 10, 1, 0, 0};  // 576-byte Layer II frames
  const std::vector<uint8_t> audio = frames(h, 576, 4);

  // 1000 zero bytes before the first frame.
  std::vector<uint8_t> zeros(1000, 0);
  zeros.insert(zeros.end(), audio.begin(), audio.end());
  Opened a;
  open_bytes(a, dir, zeros, "zeros.mp2");
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.stream->current_frame(), 0);
  EXPECT_EQ(frame_number_in_body(*a.stream), 0);

  // Stray sync words that look like headers but are not followed by a frame of their kind are passed over.
  std::vector<uint8_t> lookalikes = {0x00, 0xFF, 0xFD, 0xA4, 0x00, 0x12, 0xFF, 0xFB, 0x90, 0x64, 0x33};
  lookalikes.insert(lookalikes.end(), audio.begin(), audio.end());
  Opened b;
  open_bytes(b, dir, lookalikes, "lookalikes.mp2");
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.stream->current_frame(), 0);
  EXPECT_EQ(b.header.layer(), 2);
  EXPECT_EQ(frame_number_in_body(*b.stream), 0);

  // So is a pair of header-like words a frame apart, as the frames of a stream of another kind hold now and
  // then: a third frame must follow.
  std::vector<uint8_t> pair = frames({1, 1, false, 1, 2, 0, 2}, 48, 2, 700);  // two 48-byte Layer I frames
  pair.resize(pair.size() + 30, 0x55);
  pair.insert(pair.end(), audio.begin(), audio.end());
  Opened p;
  open_bytes(p, dir, pair, "pair.mp2");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.header.layer(), 2);
  EXPECT_EQ(frame_number_in_body(*p.stream), 0);

  // An ID3v2 tag is skipped by its declared size, whatever its picture holds.
  std::vector<uint8_t> tagged = {'I', 'D', '3', 4, 0, 0, 0, 0, 0x10, 0x00};  // 2048 bytes (synchsafe)
  for (int i = 0; i < 2048; ++i) tagged.push_back(i % 4 == 0 ? 0xFF : i % 4 == 1 ? 0xFB : 0x90);
  tagged.insert(tagged.end(), audio.begin(), audio.end());
  Opened c;
  open_bytes(c, dir, tagged, "tagged.mp2");
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.stream->audio_start(), 2058u);
  EXPECT_EQ(c.header.layer(), 2);
  EXPECT_EQ(frame_number_in_body(*c.stream), 0);
  EXPECT_EQ(c.header.frame_count_estimate(*c.stream), 4u);
}

TEST(HeaderSearchTest, RejectsWhatCannotBeAFrame) {
  TempDir dir;
  Opened tiny;
  open_bytes(tiny, dir, {0xFF, 0xFB, 0x90}, "tiny.mp3");
  EXPECT_FALSE(tiny.ok);

  // The forbidden bit-rate index 15, the reserved version code 01 and the reserved layer code never start a
  // frame.
  Opened forbidden;
  open_bytes(forbidden, dir, frames({1, 3, false, 15, 0, 0, 0}, 417, 5));
  EXPECT_FALSE(forbidden.ok);
  for (const uint32_t word : {0xFFEB9000u, 0xFFF99000u}) {  // version code 01; layer code 00
    std::vector<uint8_t> reserved;
    for (int i = 0; i < 5; ++i) {
      append_word(reserved, word);
      reserved.resize(reserved.size() + 413, 0);
    }
    Opened r;
    open_bytes(r, dir, reserved);
    EXPECT_FALSE(r.ok) << std::hex << word;
  }
}

TEST(HeaderSearchTest, ReportsAnUnknownSamplingFrequency) {
  TempDir dir;
  RecordingNotifier notes;
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 4; ++i) {
    append_word(bytes, HeaderFields{1, 3, false, 9, 0, 0, 0}.word() | 0x0C00);  // sampling code 3
    bytes.resize(bytes.size() + 413, 0);
  }
  Opened o;
  open_bytes(o, dir, bytes);
  EXPECT_FALSE(o.ok);
  ASSERT_EQ(notes.texts.size(), 1u);
  EXPECT_EQ(notes.texts[0], "Unknown sample frequency in header");
  EXPECT_EQ(notes.captions[0], "Stream not supported");
  EXPECT_EQ(notes.icons[0], MessageIcon::Error);

  // A proper frame later in the file is found, without a message.
  const std::vector<uint8_t> audio = frames({1, 2, false, 10, 1, 0, 0}, 576, 3);
  bytes.insert(bytes.end(), audio.begin(), audio.end());
  Opened later;
  open_bytes(later, dir, bytes, "later.mp3");
  EXPECT_TRUE(later.ok);
  EXPECT_EQ(notes.texts.size(), 1u);
}

// MPEG 2.5 has an 11-bit sync word and version bits 00; only a word with a sampling code 3 is still named.
TEST(HeaderSearchTest, FindsMpeg25FramesAndNamesNothingElse) {
  TempDir dir;
  RecordingNotifier notes;
  std::vector<uint8_t> mpeg25;
  append_word(mpeg25, HeaderFields{1, 3, false, 9, 0, 0, 0}.word() | 0x0C00);
  mpeg25.resize(100, 0);
  const std::vector<uint8_t> audio = frames({2, 3, false, 8, 0, 0, 0}, 417, 6);
  mpeg25.insert(mpeg25.end(), audio.begin(), audio.end());
  Opened o;
  open_bytes(o, dir, mpeg25);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.stream->header_offset(), 100u);
  EXPECT_EQ(o.header.frequency(), 11025u);
  EXPECT_TRUE(notes.texts.empty());

  std::vector<uint8_t> noise(64 * 1024);
  uint32_t state = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
  Opened n;
  open_bytes(n, dir, noise, "noise.mp3");
  for (const std::string& said : notes.texts) EXPECT_EQ(said, "Unknown sample frequency in header");
}

TEST(HeaderSearchTest, UnopenableFileIsReportedAndGivesNoFrame) {
  TempDir dir;
  RecordingNotifier notes;
  // Names longer than any fixed buffer work.
  std::filesystem::path deep = dir.path();
  for (int i = 0; i < 6; ++i) deep /= std::string(60, char('a' + i));
  std::filesystem::create_directories(deep);
  const std::string missing = (deep / "missing.mp3").string();
  Ibitstream stream(missing);
  Header header;
  Crc16* crc = nullptr;
  EXPECT_FALSE(stream.is_open());
  EXPECT_FALSE(header.read_frame_header(stream, crc));
  ASSERT_EQ(notes.texts.size(), 1u);
  EXPECT_EQ(notes.texts[0], "Error opening file: " + missing);
  EXPECT_EQ(notes.captions[0], "Invalid handle");
  EXPECT_EQ(notes.icons[0], MessageIcon::None);

  write_file(deep / "long.mp2", frames({1, 2, false, 10, 1, 0, 0}, 576, 2));
  Ibitstream long_name((deep / "long.mp2").string());
  EXPECT_TRUE(header.read_frame_header(long_name, crc));
}

TEST(HeaderSearchTest, LockedSearchSkipsFramesOfAnotherKind) {
  TempDir dir;
  const HeaderFields h44{1, 2, false, 10, 0, 0, 0};  // 192 kbit/s at 44.1 kHz: 626 bytes
  const HeaderFields h48{1, 2, false, 10, 1, 0, 0};  // the same at 48 kHz: 576 bytes
  const HeaderFields layer3{1, 3, false, 9, 0, 0, 0};
  std::vector<uint8_t> bytes = frames(h44, 626, 3, 0);
  const std::vector<uint8_t> other = frames(h48, 576, 1, 100);
  bytes.insert(bytes.end(), other.begin(), other.end());
  const std::vector<uint8_t> change = frames(layer3, 417, 1, 200);  // a change of layer is allowed
  bytes.insert(bytes.end(), change.begin(), change.end());
  const std::vector<uint8_t> mono = frames({1, 2, false, 10, 0, 0, 3}, 626, 1, 300);  // and of the channels
  bytes.insert(bytes.end(), mono.begin(), mono.end());
  const std::vector<uint8_t> rest = frames(h44, 626, 2, 3);
  bytes.insert(bytes.end(), rest.begin(), rest.end());

  Opened o;
  open_bytes(o, dir, bytes);
  ASSERT_TRUE(o.ok);
  std::vector<int> seen = {frame_number_in_body(*o.stream)};
  Crc16* crc = nullptr;
  while (o.header.read_frame_header(*o.stream, crc)) seen.push_back(frame_number_in_body(*o.stream));
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 200, 300, 3, 4}));
  EXPECT_EQ(o.stream->current_frame(), 6);
}

TEST(HeaderSeekTest, LandsOnTheFrameAskedFor) {
  TempDir dir;
  // 44.1 kHz frames differ by the padding byte; elsewhere they all have one length. A tag in front must not
  // move the frames.
  std::vector<uint8_t> padded = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 100};
  padded.resize(110, 0xFF);
  std::vector<uint8_t> fixed = padded;
  HeaderFields h44{1, 2, false, 10, 0, 0, 0};
  for (int k = 0; k < 60; ++k) {
    h44.padding = (k * 7) % 3 == 0;  // an irregular pattern of padded frames
    append_frame(padded, h44, {uint8_t(k >> 8), uint8_t(k)}, 626 + h44.padding);
    append_frame(fixed, {1, 2, false, 10, 1, 0, 0}, {uint8_t(k >> 8), uint8_t(k)}, 576);
  }
  for (const auto* bytes : {&padded, &fixed}) {
    Opened o;
    open_bytes(o, dir, *bytes, bytes == &padded ? "padded.mp2" : "fixed.mp2");
    ASSERT_TRUE(o.ok);
    for (int n : {0, 37, 5, 59, 58, 1, 0, 42}) {
      ASSERT_TRUE(o.header.seek_to_frame(*o.stream, n)) << n;
      EXPECT_EQ(o.stream->current_frame(), n);
      EXPECT_EQ(frame_number_in_body(*o.stream), n);
      // Reading goes on from there.
      Crc16* crc = nullptr;
      if (n < 59) {
        ASSERT_TRUE(o.header.read_frame_header(*o.stream, crc));
        EXPECT_EQ(frame_number_in_body(*o.stream), n + 1);
      }
    }
    EXPECT_FALSE(o.header.seek_to_frame(*o.stream, 60));
  }
}

TEST(BitReadingTest, ReadsBitsAcrossWordsAndZerosPastTheBody) {
  TempDir dir;
  BitWriter body;
  body.put(0xABCDE, 20).put(0x123, 12).put(0x4567, 16);  // a 32-bit word, then the next
  Opened o;
  std::vector<uint8_t> bytes;
  append_frame(bytes, {1, 2, false, 10, 1, 0, 0}, body.bytes(), 576);
  open_bytes(o, dir, bytes, "bits.mp2");
  ASSERT_TRUE(o.ok);
  Ibitstream& s = *o.stream;
  EXPECT_EQ(s.read_bits(0), 0u);
  EXPECT_EQ(s.read_bits(20), 0xABCDEu);
  // From bit 20: the last 12 bits of the first word and the first 4 of the next.
  EXPECT_EQ(s.read_bits(16), (0x123u << 4) | 0x4);
  EXPECT_EQ(s.read_bits(12), 0x567u);
  EXPECT_EQ(s.read_bits(17), 0u);
  for (int i = 0; i < 400; ++i) s.read_bits(17);  // far past the 572-byte body
  EXPECT_EQ(s.read_bits(17), 0u);
  EXPECT_FALSE(s.read_frame_body(Ibitstream::kBodyBytes + 1));
}

}  // namespace
}  // namespace vemla::test
