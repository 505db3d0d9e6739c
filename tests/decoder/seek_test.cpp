// Seeking to frame n, on hand-built streams whose every frame is marked by its body bytes: streams whose bit
// rate varies (at every sampling frequency and layer), constant streams, and streams that only show late,
// or through junk between frames, that the constant-length arithmetic does not hold.
#include <gtest/gtest.h>

#include <random>

#include "bitstream.h"
#include "header.h"
#include "support.h"
#include "test_files.h"

namespace vemla::test {
namespace {

uint8_t marker(size_t k) {
  return static_cast<uint8_t>(1 + k % 254);
}

struct Built {
  std::vector<uint8_t> bytes;
  std::vector<uint64_t> offsets;
};

// Frames in order, frame k's body filled with marker(k); junk[k] bytes (never 0xFF) before frame k.
Built build(const std::vector<HeaderFields>& frames, const std::vector<size_t>& junk = {}) {
  Built b;
  for (size_t k = 0; k < frames.size(); ++k) {
    if (k < junk.size()) b.bytes.insert(b.bytes.end(), junk[k], 0x5A);
    b.offsets.push_back(b.bytes.size());
    const std::vector<uint8_t> frame = make_frame(frames[k], marker(k));
    b.bytes.insert(b.bytes.end(), frame.begin(), frame.end());
  }
  return b;
}

// Bit rates that change from frame to frame (and, at 44.1 and 22.05 kHz, padding as an encoder sets it).
std::vector<HeaderFields> varying(HeaderFields fields, size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<HeaderFields> frames(count, fields);
  for (HeaderFields& f : frames) {
    f.bitrate_index = 1 + static_cast<int>(random() % 14);
    f.padding = fields.sample_frequency == 0 ? static_cast<int>(random() % 2) : 0;
  }
  return frames;
}

class Opened {
 public:
  explicit Opened(const std::vector<uint8_t>& bytes) : stream(std::span<const uint8_t>(bytes)) {
    Crc16* crc = nullptr;
    opened = header.read_frame_header(stream, crc);
  }
  Ibitstream stream;
  Header header;
  bool opened = false;
};

// Frame k of `b` is loaded: counted as k, its header where it lies, its own body in the buffer.
void expect_loaded(const Opened& o, const Built& b, size_t k) {
  EXPECT_EQ(o.stream.current_frame(), static_cast<int>(k));
  EXPECT_EQ(o.stream.header_offset(), b.offsets[k]) << "frame " << k;
  EXPECT_EQ(o.stream.body()[1], marker(k)) << "frame " << k;
}

struct Kind {
  int version, layer, sample_frequency;
};

void PrintTo(const Kind& k, std::ostream* out) {
  *out << (k.version ? "MPEG-1" : "LSF") << " Layer " << k.layer << " rate code " << k.sample_frequency;
}

std::string kind_name(const testing::TestParamInfo<Kind>& info) {
  static const char* rates[2][3] = {{"22k", "24k", "16k"}, {"44k", "48k", "32k"}};
  return std::string("Layer") + std::to_string(info.param.layer) + "_" +
         rates[info.param.version][info.param.sample_frequency];
}

class VaryingBitRate : public testing::TestWithParam<Kind> {
 protected:
  Built stream_of(size_t count) {
    HeaderFields fields;
    fields.version = GetParam().version;
    fields.layer = GetParam().layer;
    fields.sample_frequency = GetParam().sample_frequency;
    return build(varying(fields, count, 7));
  }
};

TEST_P(VaryingBitRate, SeeksLandOnTheFrameAskedForFromAFreshStream) {
  const Built b = stream_of(240);
  Opened o(b.bytes);
  ASSERT_TRUE(o.opened);
  // Beyond every frame read, back, to the last, past the end, and back again after the failure.
  for (size_t n : {150u, 40u, 239u, 151u, 0u, 7u}) {
    ASSERT_TRUE(o.header.seek_to_frame(o.stream, static_cast<unsigned>(n))) << "frame " << n;
    expect_loaded(o, b, n);
  }
  EXPECT_FALSE(o.header.seek_to_frame(o.stream, 240));
  ASSERT_TRUE(o.header.seek_to_frame(o.stream, 200));
  expect_loaded(o, b, 200);
}

TEST_P(VaryingBitRate, SeeksAfterAStraightReadLandOnEveryFrame) {
  const Built b = stream_of(150);
  Opened o(b.bytes);
  ASSERT_TRUE(o.opened);
  Crc16* crc = nullptr;
  while (o.header.read_frame_header(o.stream, crc)) {
  }
  EXPECT_EQ(o.stream.current_frame(), 149);
  EXPECT_FALSE(o.header.constant_frame_length());
  for (size_t n = 150; n-- > 0;) {
    ASSERT_TRUE(o.header.seek_to_frame(o.stream, static_cast<unsigned>(n)));
    expect_loaded(o, b, n);
    // Reading on continues with the following frame.
    if (n + 1 < 150 && n % 17 == 0) {
      ASSERT_TRUE(o.header.read_frame_header(o.stream, crc));
      expect_loaded(o, b, n + 1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllRates, VaryingBitRate,
                         testing::Values(Kind{1, 3, 0}, Kind{1, 3, 1}, Kind{1, 3, 2}, Kind{0, 3, 0},
                                         Kind{0, 3, 1}, Kind{0, 3, 2}, Kind{1, 2, 1}, Kind{1, 1, 2},
                                         Kind{0, 2, 2}, Kind{0, 1, 0}),
                         kind_name);

TEST(ConstantBitRate, SeeksAheadByArithmeticWithoutReadingTheFramesBetween) {
  HeaderFields fields = layer3_fields();
  fields.sample_frequency = 1;  // 48 kHz: every frame of a bit rate is equally long
  const Built b = build(std::vector<HeaderFields>(300, fields));
  Opened o(b.bytes);
  ASSERT_TRUE(o.opened);
  ASSERT_TRUE(o.header.seek_to_frame(o.stream, 250));
  expect_loaded(o, b, 250);
  EXPECT_TRUE(o.header.constant_frame_length());
  EXPECT_EQ(o.stream.frame_starts().size(), 1u) << "frames 1..249 were read";
  ASSERT_TRUE(o.header.seek_to_frame(o.stream, 3));
  expect_loaded(o, b, 3);
  EXPECT_FALSE(o.header.seek_to_frame(o.stream, 300));
}

TEST(LateVariation, AFreshSeekIntoAStreamThatChangesLaterStillLands) {
  for (int sample_frequency : {0, 1, 2}) {
    HeaderFields fields = layer3_fields();
    fields.sample_frequency = sample_frequency;
    // 40 frames of one bit rate, then varying ones: after opening nothing tells them apart from CBR.
    std::vector<HeaderFields> frames(40, fields);
    const std::vector<HeaderFields> rest = varying(fields, 200, 11);
    frames.insert(frames.end(), rest.begin(), rest.end());
    const Built b = build(frames);
    Opened o(b.bytes);
    ASSERT_TRUE(o.opened);
    for (size_t n : {180u, 20u, 239u, 41u}) {
      ASSERT_TRUE(o.header.seek_to_frame(o.stream, static_cast<unsigned>(n)))
          << sample_frequency << ": " << n;
      expect_loaded(o, b, n);
    }
    EXPECT_FALSE(o.header.constant_frame_length());
  }
}

TEST(LateVariation, JunkBetweenFramesOfAConstantStreamDoesNotShiftTheFrameNumbers) {
  HeaderFields fields = layer3_fields();
  fields.sample_frequency = 2;
  std::vector<size_t> junk(200, 0);
  junk[60] = 37;   // a damaged stretch
  junk[61] = 700;  // and a longer one
  const Built b = build(std::vector<HeaderFields>(200, fields), junk);
  Opened o(b.bytes);
  ASSERT_TRUE(o.opened);
  for (size_t n : {100u, 10u, 61u, 199u, 60u}) {
    ASSERT_TRUE(o.header.seek_to_frame(o.stream, static_cast<unsigned>(n))) << n;
    expect_loaded(o, b, n);
  }
}

TEST(LateVariation, AnEncodersVbrHeaderMakesTheFirstSeekReadForward) {
  HeaderFields fields = layer3_fields();
  fields.sample_frequency = 1;
  Built b = build(std::vector<HeaderFields>(120, fields));
  // Frame 0 carries a Xing header after its 32 bytes of (zero) side information.
  std::fill(b.bytes.begin() + 4, b.bytes.begin() + 36, 0);
  const uint8_t xing[] = {'X', 'i', 'n', 'g', 0, 0, 0, 1, 0, 0, 0, 119};
  std::copy(std::begin(xing), std::end(xing), b.bytes.begin() + 36);
  Opened o(b.bytes);
  ASSERT_TRUE(o.opened);
  EXPECT_FALSE(o.header.constant_frame_length());
  ASSERT_TRUE(o.header.seek_to_frame(o.stream, 90));
  expect_loaded(o, b, 90);
  EXPECT_EQ(o.stream.frame_starts().size(), 91u);
}

TEST(FileAndMemory, ReadTheSameFramesFromTheSameBytes) {
  HeaderFields fields = layer3_fields();
  fields.version = 0;
  Built b = build(varying(fields, 80, 3), {0, 0, 0, 0, 0, 9});
  b.bytes.insert(b.bytes.begin(), {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20});
  b.bytes.insert(b.bytes.begin() + 10, 20, 0xFF);  // a tag whose padding looks like sync words
  for (uint64_t& offset : b.offsets) offset += 30;
  TempDir dir;
  write_file(dir / "stream.mp3", b.bytes);
  Ibitstream file((dir / "stream.mp3").string());
  Ibitstream memory{std::span<const uint8_t>(b.bytes)};
  Header file_header, memory_header;
  Crc16* crc = nullptr;
  EXPECT_EQ(file.audio_start(), 30u);
  EXPECT_EQ(memory.audio_start(), 30u);
  size_t frames = 0;
  for (;;) {
    const bool from_file = file_header.read_frame_header(file, crc);
    ASSERT_EQ(memory_header.read_frame_header(memory, crc), from_file);
    if (!from_file) break;
    ASSERT_EQ(file.header_offset(), memory.header_offset());
    ASSERT_EQ(file.header_offset(), b.offsets[frames]);
    ASSERT_EQ(file.body_length(), memory.body_length());
    ++frames;
  }
  EXPECT_EQ(frames, 80u);
}

}  // namespace
}  // namespace vemla::test
