// The encoder's Xing, Info and VBRI headers: found where encoders put them, read without leaving the frame
// body whatever it holds, trusted for the frame count only when the file could hold that many frames, and
// never decoded as audio.
#include "vbr_header.h"

#include <gtest/gtest.h>

#include <cstring>

#include "frame_decoder.h"
#include "header.h"
#include "support.h"
#include "test_files.h"
#include "test_signal.h"

namespace vemla::test {
namespace {

void put32(std::vector<uint8_t>& body, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) body[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// A Xing-style header at `at`: magic, flags, then frames and bytes as the flags say.
std::vector<uint8_t> xing_body(size_t length, size_t at, const char* magic, uint32_t flags, uint32_t frames,
                               uint32_t bytes) {
  std::vector<uint8_t> body(length, 0);
  std::memcpy(&body[at], magic, 4);
  put32(body, at + 4, flags);
  size_t field = at + 8;
  if (flags & 1) put32(body, field, frames), field += 4;
  if (flags & 2) put32(body, field, bytes);
  return body;
}

TEST(FindVbrHeader, LooksWhereTheSideInformationWouldBeForEachVersionAndMode) {
  struct Case {
    int version, mode;
    size_t at;
  };
  for (const Case c : {Case{1, 0, 32}, Case{1, 1, 32}, Case{1, 2, 32}, Case{1, 3, 17}, Case{0, 0, 17},
                       Case{0, 1, 17}, Case{0, 3, 9}}) {
    const std::vector<uint8_t> body = xing_body(400, c.at, "Xing", 3, 1234, 567890);
    const VbrHeader h = find_vbr_header(body.data(), body.size(), c.version, c.mode, false);
    EXPECT_EQ(h.kind, VbrHeader::Kind::Xing) << c.version << "/" << c.mode;
    EXPECT_EQ(h.frames, 1234u);
    EXPECT_EQ(h.bytes, 567890u);
    EXPECT_TRUE(h.variable_bitrate());
    // The same bytes one place off are not a header.
    const std::vector<uint8_t> off = xing_body(400, c.at + 1, "Xing", 3, 1234, 567890);
    EXPECT_FALSE(find_vbr_header(off.data(), off.size(), c.version, c.mode, false).present());
  }
}

TEST(FindVbrHeader, FindsTheHeaderAfterTheCrcWordAndWhereLameWritesItWithoutOne) {
  const std::vector<uint8_t> after_crc = xing_body(400, 34, "Info", 1, 99, 0);
  const VbrHeader a = find_vbr_header(after_crc.data(), after_crc.size(), 1, 0, true);
  EXPECT_EQ(a.kind, VbrHeader::Kind::Info);
  EXPECT_FALSE(a.variable_bitrate());
  EXPECT_EQ(a.frames, 99u);
  EXPECT_EQ(a.bytes, 0u);
  const std::vector<uint8_t> lame = xing_body(400, 32, "Info", 1, 98, 0);
  EXPECT_EQ(find_vbr_header(lame.data(), lame.size(), 1, 0, true).frames, 98u);
  // Without a CRC word nothing is looked for two bytes further on.
  EXPECT_FALSE(find_vbr_header(after_crc.data(), after_crc.size(), 1, 0, false).present());
}

TEST(FindVbrHeader, ReadsTheVbriHeaderThirtyTwoBytesAfterTheFrameHeader) {
  std::vector<uint8_t> body(300, 0);
  std::memcpy(&body[32], "VBRI", 4);
  put32(body, 32 + 10, 2000000);
  put32(body, 32 + 14, 4321);
  for (int mode : {0, 3}) {
    const VbrHeader h = find_vbr_header(body.data(), body.size(), 1, mode, false);
    EXPECT_EQ(h.kind, VbrHeader::Kind::Vbri);
    EXPECT_EQ(h.frames, 4321u);
    EXPECT_EQ(h.bytes, 2000000u);
  }
}

TEST(FindVbrHeader, FieldsCutOffByTheEndOfTheBodyAreAbsent) {
  // Every length from nothing to the whole header: the vector is exactly that long, so a read beyond it
  // shows in the sanitizer build.
  const std::vector<uint8_t> full = xing_body(52, 32, "Xing", 0xF, 777, 888);
  for (size_t length = 0; length <= full.size(); ++length) {
    const std::vector<uint8_t> body(full.begin(), full.begin() + length);
    const VbrHeader h = find_vbr_header(body.data(), body.size(), 1, 0, true);
    EXPECT_EQ(h.present(), length >= 36) << length;
    EXPECT_EQ(h.frames, length >= 44 ? 777u : 0u) << length;
    EXPECT_EQ(h.bytes, length >= 48 ? 888u : 0u) << length;
  }
  std::vector<uint8_t> vbri(60, 0);
  std::memcpy(&vbri[32], "VBRI", 4);
  put32(vbri, 46, 5);
  for (size_t length = 0; length <= vbri.size(); ++length) {
    const std::vector<uint8_t> body(vbri.begin(), vbri.begin() + length);
    const VbrHeader h = find_vbr_header(body.data(), body.size(), 1, 0, false);
    EXPECT_EQ(h.present(), length >= 36) << length;
    EXPECT_EQ(h.frames, length >= 50 ? 5u : 0u) << length;
  }
  EXPECT_FALSE(find_vbr_header(nullptr, 0, 0, 3, true).present());
}

TEST(FindVbrHeader, FlagsDecideWhichFieldsFollow) {
  const std::vector<uint8_t> bytes_only = xing_body(300, 32, "Xing", 2, 0, 4096);
  const VbrHeader h = find_vbr_header(bytes_only.data(), bytes_only.size(), 1, 0, false);
  EXPECT_EQ(h.frames, 0u);
  EXPECT_EQ(h.bytes, 4096u);
  const std::vector<uint8_t> none = xing_body(300, 32, "Xing", 0, 0, 0);
  EXPECT_EQ(find_vbr_header(none.data(), none.size(), 1, 0, false).frames, 0u);
}

// LAME's extension after the fields the flags announce, with an encoder's name and the delay and padding.
std::vector<uint8_t> lame_body(size_t length, uint32_t flags, const char* name, unsigned delay,
                               unsigned padding) {
  std::vector<uint8_t> body = xing_body(400, 32, "Info", flags, 100, 5000);
  const size_t at =
      32 + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
  std::memcpy(&body[at], name, 4);
  body[at + 21] = static_cast<uint8_t>(delay >> 4);
  body[at + 22] = static_cast<uint8_t>((delay & 15) << 4 | padding >> 8);
  body[at + 23] = static_cast<uint8_t>(padding);
  body.resize(length);
  return body;
}

TEST(FindVbrHeader, TakesTheEncodersDelayAndPaddingFromLamesExtension) {
  for (uint32_t flags : {0xFu, 0x3u, 0x5u, 0x0u}) {
    const std::vector<uint8_t> body = lame_body(400, flags, "LAME", 576, 1260);
    const VbrHeader h = find_vbr_header(body.data(), body.size(), 1, 0, false);
    EXPECT_TRUE(h.has_encoder_padding) << flags;
    EXPECT_EQ(h.encoder_delay, 576u) << flags;
    EXPECT_EQ(h.encoder_padding, 1260u) << flags;
  }
  for (const char* name : {"Lavf", "Lavc"}) {
    const std::vector<uint8_t> body = lame_body(400, 0xF, name, 4095, 4095);
    const VbrHeader h = find_vbr_header(body.data(), body.size(), 1, 0, false);
    EXPECT_EQ(h.encoder_delay, 4095u) << name;
    EXPECT_EQ(h.encoder_padding, 4095u) << name;
  }
  // Another encoder's bytes there say nothing of its delay.
  const std::vector<uint8_t> other = lame_body(400, 0xF, "GOGO", 576, 1260);
  EXPECT_FALSE(find_vbr_header(other.data(), other.size(), 1, 0, false).has_encoder_padding);
  // A body that ends inside the extension keeps the frame count and has no figures.
  const size_t end = 32 + 8 + 4 + 4 + 100 + 4 + 24;
  for (size_t length : {end - 1, end - 20, size_t{60}}) {
    const std::vector<uint8_t> cut = lame_body(length, 0xF, "LAME", 576, 1260);
    const VbrHeader h = find_vbr_header(cut.data(), cut.size(), 1, 0, false);
    EXPECT_EQ(h.frames, 100u) << length;
    EXPECT_FALSE(h.has_encoder_padding) << length;
  }
  const std::vector<uint8_t> whole = lame_body(end, 0xF, "LAME", 1, 2);
  EXPECT_TRUE(find_vbr_header(whole.data(), end, 1, 0, false).has_encoder_padding);
}

// A 48 kHz stream: frame 0 carries a Xing header announcing `announced` frames, then `frames` audio frames.
std::vector<uint8_t> tagged_stream(uint32_t announced, size_t frames) {
  HeaderFields fields = layer3_fields();
  fields.sample_frequency = 1;
  std::vector<uint8_t> bytes = make_frame(fields, 0);
  std::vector<uint8_t> body(bytes.begin() + 4, bytes.end());
  const std::vector<uint8_t> tag = xing_body(body.size(), 32, "Xing", 1, announced, 0);
  std::copy(tag.begin(), tag.end(), bytes.begin() + 4);
  for (size_t k = 0; k < frames; ++k) {
    const std::vector<uint8_t> frame = make_frame(fields, 0x11);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  return bytes;
}

unsigned estimate(const std::vector<uint8_t>& bytes, bool* tag_frame = nullptr) {
  Ibitstream stream{std::span<const uint8_t>(bytes)};
  Header header;
  Crc16* crc = nullptr;
  if (!header.read_frame_header(stream, crc)) return ~0u;
  if (tag_frame) *tag_frame = header.tag_frame();
  return header.frame_count_estimate(stream);
}

TEST(FrameCount, IsTheHeadersCountWhenTheFileCouldHoldThatMany) {
  bool tag_frame = false;
  // 100 frames of 384 bytes (128 kbit/s): the count may say anything from 40 (padded 320 kbit/s frames of
  // 961 bytes) to 400 (32 kbit/s frames of 96 bytes).
  EXPECT_EQ(estimate(tagged_stream(250, 100), &tag_frame), 250u);
  EXPECT_TRUE(tag_frame);
  EXPECT_EQ(estimate(tagged_stream(100, 100)), 100u);
  EXPECT_EQ(estimate(tagged_stream(40, 100)), 40u);
  EXPECT_EQ(estimate(tagged_stream(400, 100)), 400u);
  // Counts the bytes cannot hold, or that leave most of them unexplained, give way to the size estimate,
  // which leaves out the header's own frame.
  EXPECT_EQ(estimate(tagged_stream(402, 100)), 100u);
  EXPECT_EQ(estimate(tagged_stream(38, 100)), 100u);
  EXPECT_EQ(estimate(tagged_stream(0xFFFFFFFF, 100)), 100u);
  EXPECT_EQ(estimate(tagged_stream(20, 100)), 100u);
  EXPECT_EQ(estimate(tagged_stream(0, 100)), 100u);
  EXPECT_EQ(estimate(tagged_stream(316, 0)), 0u);
}

// A file as lame makes it, the count of its Xing or Info header set to what a test wants.
class LameCount : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!have_program("lame")) GTEST_SKIP() << "lame is not installed: no MP3 files can be made for this test";
    write_test_signal_wav((dir / "signal.wav").string(), 10.0, 44100, 2);
    ASSERT_TRUE(lame_encode(dir / "signal.wav", dir / "lame.mp3", GetParam()));
    bytes = read_file(dir / "lame.mp3");
    const FrameWalk walk = walk_frames(bytes);
    ASSERT_GT(walk.offsets.size(), 300u);
    const size_t tag = xing_offset(bytes, walk.offsets[0]);
    ASSERT_NE(tag, 0u);
    count_at = walk.offsets[0] + 4 + tag + 8;  // after the magic and the flags (lame writes the count)
    audio_frames = static_cast<uint32_t>(walk.offsets.size() - 1);
  }
  // The estimate for the file's first `length` bytes, with `count` in its header.
  unsigned estimate_with(uint32_t count, size_t length) {
    std::vector<uint8_t> patched(bytes.begin(), bytes.begin() + static_cast<long>(length));
    put32(patched, count_at, count);
    return estimate(patched);
  }
  TempDir dir;
  std::vector<uint8_t> bytes;
  size_t count_at = 0;
  uint32_t audio_frames = 0;
};

TEST_P(LameCount, IsTrustedWhereTheAudioCanHoldIt) {
  EXPECT_EQ(estimate(bytes), audio_frames);
  // At a varying bit rate a few frames fewer is a count the bytes can hold: it is the header's, not one of
  // frames counted. At a constant one only the true count fits.
  const bool varying = std::string(GetParam()).find("-V") != std::string::npos;
  const uint32_t fewer = audio_frames - 3;
  EXPECT_EQ(estimate_with(fewer, bytes.size()), varying ? fewer : audio_frames);
}

TEST_P(LameCount, AnImpossibleCountGivesWayToTheFramesThere) {
  for (uint32_t count : {0u, 0xFFFFFFFFu, audio_frames * 10, audio_frames / 10})
    EXPECT_EQ(estimate_with(count, bytes.size()), audio_frames) << count;
  // An Info header's frames all have its stream's bit rate: two frames more than the bytes hold is too many.
  if (std::string(GetParam()).find("-b") != std::string::npos) {
    EXPECT_EQ(estimate_with(audio_frames + 2, bytes.size()), audio_frames);
  }
}

// Cut short, the file holds fewer frames than its header announces: those there are counted.
TEST_P(LameCount, AFileCutShortCountsTheFramesLeft) {
  const size_t half = bytes.size() / 2 + 100;
  const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(half));
  const FrameWalk walk = walk_frames(cut);
  const bool last_whole = walk.end <= half;
  ASSERT_TRUE(last_whole);
  EXPECT_EQ(estimate_with(audio_frames, half), walk.offsets.size() - 1);
  // Only the header frame is left: no audio frame.
  EXPECT_EQ(estimate_with(audio_frames, static_cast<size_t>(walk.offsets[1])), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lame, LameCount, testing::Values("-V 2", "-b 128"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param[1] == 'V' ? "Xing" : "Info");
                         });

TEST(FrameCount, TheDurationFollowsTheCount) {
  const std::vector<uint8_t> bytes = tagged_stream(250, 100);
  Ibitstream stream{std::span<const uint8_t>(bytes)};
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  EXPECT_FLOAT_EQ(header.total_duration_ms(stream), 250 * 24.0f);
}

TEST(TagFrame, OnlyTheFirstFrameIsTakenForOne) {
  std::vector<uint8_t> bytes = tagged_stream(3, 3);
  // A second frame with the same bytes is audio that happens to look like a header.
  std::copy(bytes.begin(), bytes.begin() + 384, bytes.begin() + 384);
  Ibitstream stream{std::span<const uint8_t>(bytes)};
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  EXPECT_TRUE(header.tag_frame());
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  EXPECT_FALSE(header.tag_frame());
  ASSERT_TRUE(header.seek_to_frame(stream, 0));
  EXPECT_TRUE(header.tag_frame());
}

TEST(TagFrame, ALayerIiFrameIsNeverOne) {
  HeaderFields fields = layer3_fields();
  fields.layer = 2;
  std::vector<uint8_t> bytes;
  for (int k = 0; k < 3; ++k) {
    const std::vector<uint8_t> frame = make_frame(fields, 0);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  std::memcpy(&bytes[36], "Xing", 4);
  bool tag_frame = true;
  estimate(bytes, &tag_frame);
  EXPECT_FALSE(tag_frame);
}

#define SKIP_WITHOUT_STREAMS()                                                                           \
  const std::filesystem::path dir = conformance_dir();                                                   \
  if (dir.empty())                                                                                       \
  GTEST_SKIP() << "conformance streams not found: neither $VEMLA_CONFORMANCE nor " VEMLA_CONFORMANCE_DIR \
                  " is a folder"

// One frame whose Info header announces 316 frames that are not there (damaged side information, an empty
// header, no frame count, a table of contents cut off by the end of a 104-byte frame).
TEST(TagStreams, AHeaderWithoutItsFramesCountsNoFramesAndGivesNoSamples) {
  SKIP_WITHOUT_STREAMS();
  for (const char* name :
       {"l3-nonstandard-vbrtag-corrupted", "l3-nonstandard-vbrtag-empty", "l3-nonstandard-vbrtag-noframes",
        "l3-nonstandard-vbrtag-only", "l3-nonstandard-vbrtag-oob-read"}) {
    Ibitstream stream((dir / (std::string(name) + ".bit")).string());
    Header header;
    Crc16* crc = nullptr;
    ASSERT_TRUE(header.read_frame_header(stream, crc)) << name;
    EXPECT_TRUE(header.tag_frame()) << name;
    EXPECT_EQ(header.frame_count_estimate(stream), 0u) << name;
    EXPECT_EQ(header.total_duration_ms(stream), 0.0f) << name;
    for (ChannelChoice choice : {ChoiceStereo, ChoiceMono}) {
      const Decoded d = decode_file(dir / (std::string(name) + ".bit"), choice);
      EXPECT_EQ(d.frames, 0u) << name;
      EXPECT_TRUE(d.pcm.empty()) << name;
    }
  }
}

TEST(TagStreams, LamesInfoHeaderGivesTheFrameCountAndItsFrameNoSamples) {
  SKIP_WITHOUT_STREAMS();
  const std::filesystem::path file = dir / "l3-nonstandard-sin1k0db_lame_vbrtag.bit";
  Ibitstream stream(file.string());
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  EXPECT_EQ(header.vbr_header().kind, VbrHeader::Kind::Info);
  EXPECT_EQ(header.frame_count_estimate(stream), 316u);
  int frames = 1;
  while (header.read_frame_header(stream, crc)) ++frames;
  EXPECT_EQ(frames, 317);
  // Every frame but the header's gives a frame of samples.
  const Decoded d = decode_file(file);
  EXPECT_EQ(d.frames, 316u);
  EXPECT_EQ(d.pcm.size(), 316u * 1152 * d.channels);
}

}  // namespace
}  // namespace vemla::test
