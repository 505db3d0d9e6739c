// The Layer III decoder on whole streams: the bit reservoir's clocks and rebasing, frames skipped at the
// start and after a seek, invalid side information, samples per frame, and the channel choices.
#include "layer3.h"

#include <gtest/gtest.h>

#include <random>

#include "frame_decoder.h"
#include "layer3_frames.h"
#include "support.h"

namespace vemla::test {
namespace {

// Pads a granule's data with ones (zero quadruples, or skipped bits) to `bits` in all.
GranuleData& pad_to(GranuleData& g, size_t bits) {
  EXPECT_LE(g.data.bit_count(), bits);
  while (g.data.bit_count() < bits) g.data.put(1, 1);
  g.info.part2_3_length = static_cast<uint32_t>(bits);
  return g;
}

// Frames of pseudo-random spectra (about 20 nonzero lines a granule), each frame's data between `min_bits`
// and `max_bits` long, all with main_data_begin 0.
std::vector<FrameData> random_frames(const StreamFormat& format, int count, size_t min_bits, size_t max_bits,
                                     unsigned seed = 1) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> size(min_bits, max_bits);
  std::vector<FrameData> frames(count);
  const unsigned granules = format.granules() * format.channels();
  for (FrameData& frame : frames) {
    const size_t each = size(random) / granules;
    for (unsigned i = 0; i < granules; ++i) {
      GranuleData g = random_granule(random, 16, 0);
      frame.granules.push_back(pad_to(g, each));
    }
  }
  return frames;
}

// A decode run over a stream in a temporary file, frame by frame, as the decode thread makes it.
class DecodeRun {
 public:
  explicit DecodeRun(const std::vector<uint8_t>& bytes, ChannelChoice choice = ChoiceStereo)
      : path_(write(dir_, bytes)), stream_(path_), sink_(2, true) {
    Crc16* crc = nullptr;
    EXPECT_TRUE(header_.read_frame_header(stream_, crc));
    sink_ = MemorySink(FrameDecoder::output_channels(header_, choice), true);
    decoder_ = std::make_unique<FrameDecoder>(stream_, header_, sink_, choice);
  }
  bool seek(unsigned frame) { return decoder_->seek(frame); }
  // Decodes the loaded frame and loads the next one; false at the end.
  bool step() {
    decoder_->decode_frame(header_.frame_crc());
    Crc16* crc = nullptr;
    return header_.read_frame_header(stream_, crc);
  }
  void to_end() {
    while (step()) {
    }
  }
  const LayerIII_Decoder& layer3() { return *decoder_->layer3(); }
  const MemorySink& sink() const { return sink_; }

 private:
  static std::string write(const TempDir& dir, const std::vector<uint8_t>& bytes) {
    write_file(dir / "s.mp3", bytes);
    return (dir / "s.mp3").string();
  }
  TempDir dir_;
  std::string path_;
  Ibitstream stream_;
  Header header_;
  MemorySink sink_;
  std::unique_ptr<FrameDecoder> decoder_;
};

std::vector<float> decode_floats(const std::vector<uint8_t>& bytes, ChannelChoice choice = ChoiceStereo) {
  DecodeRun decoding(bytes, choice);
  decoding.seek(0);
  decoding.to_end();
  return decoding.sink().floats;
}

bool silent(const std::vector<float>& samples) {
  return std::all_of(samples.begin(), samples.end(), [](float v) { return v == 0.0f; });
}

TEST(Layer3Decoder, EveryFrameGives18BlocksPerGranuleAndChannel) {
  for (const StreamFormat format : {StreamFormat{false, 0, 0}, StreamFormat{false, 3, 0},
                                    StreamFormat{true, 0, 0}, StreamFormat{true, 3, 0}}) {
    const std::vector<FrameData> frames = random_frames(format, 5, 200, 8 * format.main_data_slots());
    DecodeRun decoding(build_stream(format, frames));
    decoding.seek(0);
    decoding.to_end();
    const size_t per_frame = format.lsf ? 576 : 1152;
    ASSERT_EQ(decoding.sink().frame_ends.size(), 5u);
    for (size_t k = 0; k < 5; ++k) EXPECT_EQ(decoding.sink().frame_ends[k], (k + 1) * per_frame);
    EXPECT_EQ(decoding.sink().floats.size(), 5 * per_frame * format.channels());
    EXPECT_FALSE(silent(decoding.sink().floats));
  }
}

TEST(Layer3Decoder, FirstFrameReachingBeforeTheStreamGivesNothing) {
  const StreamFormat format{false, 0, 0};
  std::vector<FrameData> frames = random_frames(format, 4, 400, 2000);
  frames[0].main_data_begin = 3;  // its first bytes would lie before the stream
  DecodeRun decoding(build_stream(format, frames));
  decoding.seek(0);
  EXPECT_TRUE(decoding.step());
  EXPECT_TRUE(decoding.sink().frame_ends.empty());
  EXPECT_EQ(decoding.layer3().frame_start(), format.main_data_slots());
  decoding.to_end();
  EXPECT_EQ(decoding.sink().frame_ends.size(), 3u);
}

TEST(Layer3Decoder, MainDataThroughTheReservoirDecodesAsInPlace) {
  const StreamFormat format{false, 1, 2};  // joint stereo, middle/side
  std::vector<FrameData> plain = random_frames(format, 60, 600, 8 * format.main_data_slots(), 3);
  std::vector<FrameData> packed = plain;
  std::vector<int> gaps(60);
  for (size_t k = 0; k < gaps.size(); ++k) gaps[k] = static_cast<int>(k * 7 % 23);  // ancillary bytes
  pack_into_reservoir(format, packed, gaps);
  EXPECT_GT(
      std::count_if(packed.begin(), packed.end(), [](const FrameData& f) { return f.main_data_begin > 200; }),
      10);

  DecodeRun decoding(build_stream(format, packed));
  decoding.seek(0);
  int rebases = 0;
  int32_t previous_start = 0;
  while (decoding.step()) {
    // The clocks are pulled back by a ring length whenever they pass it, so they stay small.
    if (decoding.layer3().frame_start() < previous_start) ++rebases;
    previous_start = decoding.layer3().frame_start();
    EXPECT_LT(decoding.layer3().frame_start(), 2 * Bit_Reserve::kRingBytes);
    EXPECT_LT(decoding.layer3().reservoir().bits_consumed(), 8 * 2 * Bit_Reserve::kRingBytes);
  }
  EXPECT_GE(rebases, 4);
  EXPECT_EQ(decoding.sink().floats, decode_floats(build_stream(format, plain)));
}

TEST(Layer3Decoder, ReadsFromTheByteAfterThePreviousFramesBitsAndAncillaryData) {
  // Zero bits decode as nonzero quadruples (count1 table B): a stream of all-zero spectra whose main data
  // ends inside bytes and is followed by zero ancillary bytes stays silent only if every frame's data is
  // found exactly.
  const StreamFormat format{false, 0, 0};
  std::vector<FrameData> frames(40);
  for (size_t k = 0; k < frames.size(); ++k)
    for (int i = 0; i < 4; ++i) frames[k].granules.push_back(silent_granule(101 + 97 * ((k + i) % 11)));
  std::vector<int> gaps(frames.size());
  for (size_t k = 0; k < gaps.size(); ++k) gaps[k] = static_cast<int>(k % 5);
  pack_into_reservoir(format, frames, gaps);
  const std::vector<float> samples = decode_floats(build_stream(format, frames));
  EXPECT_EQ(samples.size(), 40u * 2 * 1152);
  EXPECT_TRUE(silent(samples));
}

TEST(Layer3Decoder, RebasesWhenTheMainDataEndsBeyond4096Bytes) {
  // Single channel: 363 bytes of main data a frame. Frames 0..10 fill theirs, so frame 11's main data
  // starts at byte 3993; ending it at byte 4096 or 4097 decides whether frame 12 rebases the clocks.
  const StreamFormat format{false, 3, 0};
  std::vector<FrameData> frames = random_frames(format, 20, 2904, 2904, 5);
  std::vector<uint8_t> streams[2];
  for (int extra : {0, 1}) {
    std::vector<FrameData> f = frames;
    for (GranuleData& g : f[11].granules) {
      g = random_granule(*std::make_unique<std::mt19937>(11), 16, 0);
      pad_to(g, 412 + 4 * extra);
    }
    DecodeRun decoding(build_stream(format, f));
    decoding.seek(0);
    for (int k = 0; k <= 12; ++k) decoding.step();
    EXPECT_EQ(decoding.layer3().frame_start(), 13 * 363 - (extra ? Bit_Reserve::kRingBytes : 0)) << extra;
    EXPECT_EQ(decoding.layer3().reservoir().bits_consumed() / 8,
              4356 - (extra ? Bit_Reserve::kRingBytes : 0) + 363)
        << extra;
    streams[extra] = build_stream(format, f);
  }
  EXPECT_EQ(decode_floats(streams[0]), decode_floats(streams[1]));
}

TEST(Layer3Decoder, AfterASeekFramesWaitForTheirMainData) {
  const StreamFormat format{false, 0, 0};
  std::vector<FrameData> plain = random_frames(format, 30, 600, 1600, 9);
  std::vector<FrameData> packed = plain;
  pack_into_reservoir(format, packed);
  // Frame k after a seek to frame 10 has (k - 10) frames of main data to reach back into.
  size_t first = 10;
  while (packed[first].main_data_begin > static_cast<int>(first - 10) * format.main_data_slots()) ++first;
  ASSERT_GT(first, 10u);
  ASSERT_LT(first, 25u);

  DecodeRun after_seek(build_stream(format, packed));
  DecodeRun reference(build_stream(format, plain));
  ASSERT_TRUE(after_seek.seek(10));
  ASSERT_TRUE(reference.seek(static_cast<unsigned>(first)));
  after_seek.to_end();
  reference.to_end();
  EXPECT_EQ(after_seek.sink().frame_ends.size(), 30 - first);
  // Decoding resumes with silent overlap and filter history, as from a seek to that frame.
  EXPECT_EQ(after_seek.sink().floats, reference.sink().floats);
}

TEST(Layer3Decoder, InvalidSideInformationSilencesOnlyItsFrame) {
  const StreamFormat format{false, 3, 0};
  std::vector<FrameData> frames = random_frames(format, 10, 1000, 2000, 13);
  for (int k = 0; k < 5; ++k)
    for (GranuleData& g : frames[k].granules) g = silent_granule(300);
  pack_into_reservoir(format, frames);
  ASSERT_GT(frames[5].main_data_begin, 0);  // frame 5 begins in frame 4's bytes
  std::vector<FrameData> broken = frames;
  broken[4].granules[1].info.window_switching_flag = 1;  // with block type 0

  DecodeRun good(build_stream(format, frames)), bad(build_stream(format, broken));
  good.seek(0), bad.seek(0);
  good.to_end(), bad.to_end();
  ASSERT_EQ(bad.sink().frame_ends.size(), 9u);
  std::vector<float> expected = good.sink().floats;
  ASSERT_TRUE(silent({expected.begin(), expected.begin() + 5 * 1152}));
  expected.erase(expected.begin() + 4 * 1152, expected.begin() + 5 * 1152);
  // Equal but for rounding: the synthesis filters of the two runs stand at different places in their rings.
  ASSERT_EQ(bad.sink().floats.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_NEAR(bad.sink().floats[i], expected[i], 1e-6) << i;
  EXPECT_FALSE(silent({expected.begin() + 4 * 1152, expected.end()}));
}

TEST(Layer3Decoder, ChannelChoicesTakeOneChannelOrBoth) {
  const StreamFormat format{false, 0, 0};
  const std::vector<uint8_t> bytes = build_stream(format, random_frames(format, 6, 1000, 2800, 17));
  const std::vector<float> stereo = decode_floats(bytes);
  const std::vector<float> left = decode_floats(bytes, ChoiceLeft);
  const std::vector<float> right = decode_floats(bytes, ChoiceRight);
  const std::vector<float> mono = decode_floats(bytes, ChoiceMono);
  ASSERT_EQ(left.size() * 2, stereo.size());
  ASSERT_EQ(right.size() * 2, stereo.size());
  ASSERT_EQ(mono.size() * 2, stereo.size());
  double difference = 0, level = 0;
  for (size_t i = 0; i < left.size(); ++i) {
    EXPECT_EQ(left[i], stereo[2 * i]);
    EXPECT_EQ(right[i], stereo[2 * i + 1]);
    const double average = (static_cast<double>(stereo[2 * i]) + stereo[2 * i + 1]) / 2;
    difference = std::max(difference, std::abs(mono[i] - average));
    level = std::max(level, std::abs(stereo[2 * i] - stereo[2 * i + 1]) * 1.0);
  }
  EXPECT_LT(difference, 1e-6);
  EXPECT_GT(level, 0.01);  // the channels differ, so the choices are told apart
}

}  // namespace
}  // namespace vemla::test
