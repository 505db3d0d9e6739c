// The command-line decoder as a user runs it: output formats, channel choices, facts, and errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "frame_builder.h"
#include "support.h"
#include "test_signal.h"

namespace vemla::test {
namespace {

const std::string kTool = VEMLA_DECODE_TOOL;

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// A short Layer II stream: 20 frames of 48 kHz stereo, 576 bytes each; subband 1 of channel 1 and subband 2 of
// channel 2 carry samples (whatever the bits after the scale factors say).
std::filesystem::path small_stream(const TempDir& dir) {
  std::vector<uint8_t> bytes;
  for (int k = 0; k < 20; ++k) {
    BitWriter w;
    for (int sb = 0; sb < 27; ++sb) {
      const unsigned bits = sb <= 10 ? 4 : sb <= 22 ? 3 : 2;
      w.put(sb == 1 ? 5 : 0, bits).put(sb == 2 ? 6 : 0, bits);
    }
    w.put(0, 2).put(0, 2);                                                  // scfsi 0: three scale factors each
    w.put(10, 6).put(11, 6).put(12, 6).put(20, 6).put(21, 6).put(22, 6);
    for (int i = 0; i < 36; ++i) w.put((i * 37 + k * 11) % 8192, 13);
    append_frame(bytes, {1, 2, false, 10, 1, 0, 0}, w.bytes(), 576);
  }
  const auto path = dir / "small.mp2";
  write_file(path, bytes);
  return path;
}

TEST(VemlaDecodeTest, WritesWavRawFloatAndStandardOutput) {
  TempDir dir;
  const auto in = small_stream(dir);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " -o " + quoted(dir / "out.raw")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " -o " + quoted(dir / "out.wav")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " -o - > " + quoted(dir / "stdout.raw")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " --f32 -o " + quoted(dir / "float.wav")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " --mix left -o " + quoted(dir / "left.raw")), 0);

  const std::vector<uint8_t> raw = read_file(dir / "out.raw");
  EXPECT_EQ(raw.size(), 20u * 1152 * 2 * 2);
  EXPECT_EQ(read_file(dir / "stdout.raw"), raw);

  const std::vector<uint8_t> wav = read_file(dir / "out.wav");
  ASSERT_EQ(wav.size(), 44 + raw.size());
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(le32(wav, 4), wav.size() - 8);
  EXPECT_EQ(le16(wav, 20), 1);      // PCM
  EXPECT_EQ(le16(wav, 22), 2);      // channels
  EXPECT_EQ(le32(wav, 24), 48000u);
  EXPECT_EQ(le16(wav, 34), 16);
  EXPECT_EQ(le32(wav, 40), raw.size());
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), wav.begin() + 44));

  const std::vector<uint8_t> f = read_file(dir / "float.wav");
  EXPECT_EQ(le16(f, 20), 3);  // IEEE float
  EXPECT_EQ(le16(f, 34), 32);
  EXPECT_EQ(f.size(), 58 + raw.size() * 2);

  // Left: channel 1 alone.
  const std::vector<uint8_t> left = read_file(dir / "left.raw");
  ASSERT_EQ(left.size(), raw.size() / 2);
  for (size_t i = 0; i < left.size(); i += 2) {
    ASSERT_EQ(left[i], raw[2 * i]);
    ASSERT_EQ(left[i + 1], raw[2 * i + 1]);
  }
}

TEST(VemlaDecodeTest, PrintsTheFactsTheLibraryStores) {
  TempDir dir;
  const auto in = small_stream(dir);
  ASSERT_EQ(run(kTool + " --info " + quoted(in) + " > " + quoted(dir / "info.txt")), 0);
  const std::string info = read_text(dir / "info.txt");
  for (const char* line : {"VERSION     MPEG-1\n", "LAYER       II\n", "BITRATE     192 kbit/s\n",
                           "SAMPLERATE  48 kHz\n", "MODE        Stereo\n", "CHECKSUMS   no\n", "FRAMETOTAL  20\n",
                           "TRACKTOTAL  480\n", "TIME        0:00:00\n"})
    EXPECT_NE(info.find(line), std::string::npos) << line;
}

TEST(VemlaDecodeTest, FailsClearlyAndWritesNothing) {
  TempDir dir;
  write_file(dir / "text.mp3", std::vector<uint8_t>(5000, 'x'));
  for (const auto& in : {dir / "missing.mp3", dir / "text.mp3"}) {
    const auto out = dir / "never.wav";
    EXPECT_NE(run(kTool + " " + quoted(in) + " -o " + quoted(out) + " 2> " + quoted(dir / "err.txt")), 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    const std::string err = read_text(dir / "err.txt");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

// A file behind an ID3v2 tag whose picture is full of bytes that look like frame headers, frames at the
// right distances included, plays from its first real frame.
TEST(VemlaDecodeTest, SkipsAnId3v2TagWithAPicture) {
  if (!have_program("twolame")) GTEST_SKIP() << "twolame is not installed";
  TempDir dir;
  write_test_signal_wav((dir / "signal.wav").string(), 3.0, 44100, 2);
  ASSERT_EQ(run("twolame --quiet -b 192 " + quoted(dir / "signal.wav") + " " + quoted(dir / "plain.mp2")), 0);
  const std::vector<uint8_t> plain = read_file(dir / "plain.mp2");

  std::vector<uint8_t> picture;
  for (int i = 0; i < 40; ++i) {  // a chain of 40 headers 626 bytes apart, like 192 kbit/s Layer II frames
    std::vector<uint8_t> fake;
    append_frame(fake, {1, 2, false, 10, 0, 0, 0}, {}, 626, 0, 0xFF);
    picture.insert(picture.end(), fake.begin(), fake.end());
  }
  std::vector<uint8_t> frame = {'A', 'P', 'I', 'C'};
  const uint32_t frame_size = static_cast<uint32_t>(picture.size() + 14);
  append_word(frame, frame_size);  // ID3v2.3 frame sizes are plain 32-bit
  frame.insert(frame.end(), {0, 0, 0, 'i', 'm', 'a', 'g', 'e', '/', 'j', 'p', 'e', 'g', 0, 3, 0});
  frame.insert(frame.end(), picture.begin(), picture.end());
  const uint32_t tag_size = static_cast<uint32_t>(frame.size());
  std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, uint8_t(tag_size >> 21 & 127), uint8_t(tag_size >> 14 & 127),
                                 uint8_t(tag_size >> 7 & 127), uint8_t(tag_size & 127)};
  tagged.insert(tagged.end(), frame.begin(), frame.end());
  tagged.insert(tagged.end(), plain.begin(), plain.end());
  write_file(dir / "tagged.mp2", tagged);

  const Decoded a = decode_file(dir / "plain.mp2");
  const Decoded b = decode_file(dir / "tagged.mp2");
  ASSERT_TRUE(a.opened);
  ASSERT_TRUE(b.opened);
  EXPECT_GT(a.frames, 100u);
  EXPECT_EQ(a.frames, b.frames);
  EXPECT_EQ(a.pcm, b.pcm);
}

}  // namespace
}  // namespace vemla::test
