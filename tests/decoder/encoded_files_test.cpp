// MP3 files as users have them, made at test time by lame from a music-like signal: constant and variable
// bit rates, a tag with a picture, CRC words, one channel, the lower sampling frequencies, tags at the end,
// files cut short, and bytes that are no MP3 at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>

#include "bitstream.h"
#include "decode_driver.h"
#include "frame_decoder.h"
#include "header.h"
#include "support.h"
#include "test_files.h"
#include "test_signal.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

struct Recipe {
  const char* name;
  unsigned frequency;
  unsigned channels;
  const char* options;  // "{picture}" stands for a JPEG picture's path
};

const Recipe kRecipes[] = {
    {"cbr_joint_stereo", 44100, 2, "-b 128 -m j"},
    {"vbr_44100", 44100, 2, "-V 2"},
    {"id3v2_picture", 44100, 2, "-b 128 --ti {picture} --tt Title --ta Artist --add-id3v2"},
    {"crc", 44100, 2, "-b 160 -p"},
    {"mono", 44100, 1, "-b 64"},
    {"lsf_22050", 22050, 2, "-b 64"},
    {"lsf_16000", 16000, 1, "-V 5"},
    {"vbr_48000", 48000, 2, "-V 4"},
    {"vbr_32000", 32000, 2, "-V 4"},
    {"vbr_24000", 24000, 2, "-V 4"},
    {"vbr_22050", 22050, 1, "-V 6"},
};

const Recipe& recipe(const std::string& name) {
  for (const Recipe& r : kRecipes)
    if (name == r.name) return r;
  throw std::invalid_argument(name);
}

// A JPEG as far as lame looks at it, whose data is a run of well-formed MPEG frames: were the tag holding it
// not skipped, they would be found and decoded.
std::vector<uint8_t> picture_with_frames() {
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  const HeaderFields fields = layer3_fields();  // 128 kbit/s, 44.1 kHz: the stream's own kind
  for (int k = 0; k < 12; ++k) {
    const std::vector<uint8_t> frame = make_frame(fields, 0x00);
    jpeg.insert(jpeg.end(), frame.begin(), frame.end());
  }
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

// Sources and encoded files, made once per test program and only when asked for.
class Files {
  static constexpr double kSeconds = 6.0;

 public:
  static Files& get() {
    static Files files;
    return files;
  }
  const std::vector<int16_t>& source(unsigned frequency, unsigned channels) {
    auto& s = sources_[{frequency, channels}];
    if (s.empty()) s = make_test_signal(kSeconds, frequency, channels);
    return s;
  }
  // The encoded file, or an empty path when lame failed.
  fs::path encoded(const std::string& name) {
    if (auto it = encoded_.find(name); it != encoded_.end()) return it->second;
    const Recipe& r = recipe(name);
    const fs::path wav = dir_ / (name + ".wav");
    write_test_signal_wav(wav.string(), kSeconds, r.frequency, r.channels);
    std::string options = r.options;
    if (const size_t at = options.find("{picture}"); at != std::string::npos) {
      write_file(dir_ / "picture.jpg", picture_with_frames());
      options.replace(at, 9, "'" + (dir_ / "picture.jpg").string() + "'");
    }
    // The rate is named so that lame never resamples.
    options += " --resample " + std::to_string(r.frequency / 1000.0);
    const fs::path mp3 = dir_ / (name + ".mp3");
    return encoded_[name] = lame_encode(wav, mp3, options) ? mp3 : fs::path();
  }

 private:
  TempDir dir_;
  std::map<std::pair<unsigned, unsigned>, std::vector<int16_t>> sources_;
  std::map<std::string, fs::path> encoded_;
};

#define SKIP_WITHOUT_LAME() \
  if (!have_program("lame")) GTEST_SKIP() << "lame is not installed: no MP3 files can be made for this test"

struct Truth {
  FrameWalk walk;
  bool tag_frame = false;
  size_t audio_frames = 0;
};

Truth truth_of(const std::vector<uint8_t>& bytes) {
  Truth t;
  t.walk = walk_frames(bytes);
  if (t.walk.offsets.empty()) return t;
  t.tag_frame = xing_offset(bytes, t.walk.offsets[0]) != 0;
  t.audio_frames = t.walk.offsets.size() - (t.tag_frame ? 1 : 0);
  return t;
}

double snr_db(const std::vector<int16_t>& decoded, const std::vector<int16_t>& source, unsigned channels) {
  const Comparison c = compare_aligned(as_steps(decoded), source, channels, 3 * 1152);
  double power = 0;
  for (int16_t s : source) power += double(s) * s;
  const double source_rms = std::sqrt(power / std::max<size_t>(1, source.size()));
  return c.compared > source.size() / 2 ? 20 * std::log10(source_rms / std::max(c.rms, 1e-9)) : -99.0;
}

std::string recipe_name(const testing::TestParamInfo<std::string>& info) {
  return info.param;
}

class EncodedFile : public testing::TestWithParam<std::string> {};

// Every frame is found where it lies and counted, the count of the first frame is the true one, and the
// audio comes out whole and like what went in.
TEST_P(EncodedFile, DecodesInFullWithItsTrueFrameCount) {
  SKIP_WITHOUT_LAME();
  const Recipe& r = recipe(GetParam());
  const fs::path file = Files::get().encoded(r.name);
  ASSERT_FALSE(file.empty()) << "lame failed";
  const std::vector<uint8_t> bytes = read_file(file);
  const Truth truth = truth_of(bytes);
  ASSERT_GT(truth.audio_frames, 100u);

  Ibitstream stream(file.string());
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  EXPECT_EQ(header.frequency(), r.frequency);
  EXPECT_EQ(header.channels(), r.channels);
  EXPECT_EQ(header.tag_frame(), truth.tag_frame);
  EXPECT_NEAR(header.frame_count_estimate(stream), truth.audio_frames, 1.0);
  size_t frames = 0;
  do {
    ASSERT_LT(frames, truth.walk.offsets.size());
    ASSERT_EQ(stream.header_offset(), truth.walk.offsets[frames]) << "frame " << frames;
    ++frames;
  } while (header.read_frame_header(stream, crc));
  EXPECT_EQ(frames, truth.walk.offsets.size());

  const Decoded d = decode_file(file);
  ASSERT_TRUE(d.opened);
  // Every audio frame but perhaps the first gives samples; lame's header frame gives none.
  EXPECT_LE(d.frames, truth.audio_frames);
  EXPECT_GE(d.frames + 1, truth.audio_frames);
  const unsigned samples_per_frame = r.frequency < 32000 ? 576 : 1152;
  EXPECT_EQ(d.pcm.size(), d.frames * samples_per_frame * d.channels);
  EXPECT_GE(snr_db(d.pcm, Files::get().source(r.frequency, r.channels), r.channels), 8.0);
}

INSTANTIATE_TEST_SUITE_P(Lame, EncodedFile,
                         testing::Values("cbr_joint_stereo", "vbr_44100", "id3v2_picture", "crc", "mono",
                                         "lsf_22050", "lsf_16000"),
                         recipe_name);

// One decoded frame: where it was, and the samples it gave.
struct TracedFrame {
  int number;
  uint64_t offset;
  std::vector<uint8_t> header_bytes;
  std::vector<int16_t> samples;
};

class Player {
 public:
  explicit Player(const fs::path& file) : stream_(file.string()) {
    Crc16* crc = nullptr;
    opened_ = header_.read_frame_header(stream_, crc);
    sink_ = std::make_unique<MemorySink>(FrameDecoder::output_channels(header_, ChoiceStereo));
    decoder_ = std::make_unique<FrameDecoder>(stream_, header_, *sink_, ChoiceStereo);
  }
  bool opened() const { return opened_; }
  bool seek(unsigned frame) { return decoder_->seek(frame); }
  // Decodes up to `count` frames from the one in the buffer on, as the decode loop does.
  std::vector<TracedFrame> play(size_t count, const std::vector<uint8_t>& bytes) {
    std::vector<TracedFrame> frames;
    Crc16* crc = header_.frame_crc();
    do {
      TracedFrame f{stream_.current_frame(), stream_.header_offset(), {}, {}};
      f.header_bytes.assign(bytes.begin() + static_cast<long>(f.offset),
                            bytes.begin() + static_cast<long>(f.offset) + 4);
      const size_t before = sink_->pcm.size();
      decoder_->decode_frame(crc);
      f.samples.assign(sink_->pcm.begin() + static_cast<long>(before), sink_->pcm.end());
      frames.push_back(std::move(f));
    } while (frames.size() < count && header_.read_frame_header(stream_, crc));
    return frames;
  }

 private:
  Ibitstream stream_;
  Header header_;
  std::unique_ptr<MemorySink> sink_;
  std::unique_ptr<FrameDecoder> decoder_;
  bool opened_ = false;
};

class VbrFile : public testing::TestWithParam<std::string> {};

// A seek to frame n goes on exactly as the straight decode goes on from frame n: the same frames, and once
// the reservoir and the filters have filled again, the same samples.
TEST_P(VbrFile, SeeksContinueWhereAStraightDecodeHasTheFrame) {
  SKIP_WITHOUT_LAME();
  const fs::path file = Files::get().encoded(GetParam());
  ASSERT_FALSE(file.empty()) << "lame failed";
  const std::vector<uint8_t> bytes = read_file(file);
  Player straight(file);
  ASSERT_TRUE(straight.opened());
  ASSERT_TRUE(straight.seek(0));
  const std::vector<TracedFrame> all = straight.play(~size_t{0}, bytes);
  ASSERT_GT(all.size(), 100u);
  for (size_t k = 0; k < all.size(); ++k) ASSERT_EQ(all[k].number, static_cast<int>(k));

  Player seeking(file);
  ASSERT_TRUE(seeking.opened());
  const size_t last = all.size() - 1;
  // Far beyond every frame read, back to the start, into the middle, close to the end.
  for (size_t n : {last * 4 / 5, size_t{9}, last / 2, last - 40}) {
    ASSERT_TRUE(seeking.seek(static_cast<unsigned>(n))) << "frame " << n;
    const std::vector<TracedFrame> after = seeking.play(30, bytes);
    size_t compared = 0;
    size_t first_sounding = after.size();
    for (size_t i = 0; i < after.size(); ++i) {
      const TracedFrame& f = after[i];
      const TracedFrame& expected = all[n + i];
      ASSERT_EQ(f.number, expected.number) << "seek to " << n;
      ASSERT_EQ(f.offset, expected.offset) << "seek to " << n << ", frame " << f.number;
      ASSERT_EQ(f.header_bytes, expected.header_bytes);
      if (!f.samples.empty() && first_sounding == after.size()) first_sounding = i;
      if (first_sounding == after.size() || i < first_sounding + 2) continue;
      ASSERT_EQ(f.samples.size(), expected.samples.size()) << "frame " << f.number;
      int worst = 0;
      for (size_t s = 0; s < f.samples.size(); ++s)
        worst = std::max(worst, std::abs(f.samples[s] - expected.samples[s]));
      // The synthesis filter's ring stands elsewhere after a seek, so its sums are formed in another order.
      EXPECT_LE(worst, 1) << "seek to " << n << ", frame " << f.number;
      ++compared;
    }
    // Low bit rates need several frames before the reservoir reaches back far enough.
    EXPECT_GE(compared, 3u) << "seek to " << n;
  }
  EXPECT_FALSE(seeking.seek(static_cast<unsigned>(all.size())));
  ASSERT_TRUE(seeking.seek(30));
  EXPECT_EQ(seeking.play(1, bytes)[0].offset, all[30].offset);
}

INSTANTIATE_TEST_SUITE_P(Lame, VbrFile,
                         testing::Values("vbr_44100", "vbr_48000", "vbr_32000", "vbr_24000", "vbr_22050",
                                         "lsf_16000"),
                         recipe_name);

// An ID3v1 tag whose title holds a whole 32 kbit/s frame of the stream's kind, and an APEv2 tag with header
// and footer whose binary item holds another: found as audio only if the tags were not cut off.
std::vector<uint8_t> id3v1_tag() {
  std::vector<uint8_t> tag(128, 0);
  std::memcpy(tag.data(), "TAG", 3);
  HeaderFields fields = layer3_fields();
  fields.bitrate_index = 1;
  const std::vector<uint8_t> frame = make_frame(fields, 0x20);
  std::copy(frame.begin(), frame.end(), tag.begin() + 3);
  tag[127] = 12;  // genre
  return tag;
}

std::vector<uint8_t> apev2_tag() {
  HeaderFields fields = layer3_fields();
  fields.bitrate_index = 1;
  const std::vector<uint8_t> value = make_frame(fields, 0x21);
  std::vector<uint8_t> item;
  const auto le32 = [](std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
  };
  le32(item, static_cast<uint32_t>(value.size()));
  le32(item, 1u << 1);  // binary item
  item.insert(item.end(), {'C', 'o', 'v', 'e', 'r', 0});
  item.insert(item.end(), value.begin(), value.end());
  const auto header = [&](bool is_header) {
    std::vector<uint8_t> h = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
    le32(h, 2000);
    le32(h, static_cast<uint32_t>(item.size() + 32));  // items and footer
    le32(h, 1);
    le32(h, (1u << 31) | (is_header ? 1u << 29 : 0));  // a header is present
    h.insert(h.end(), 8, 0);
    return h;
  };
  std::vector<uint8_t> tag = header(true);
  tag.insert(tag.end(), item.begin(), item.end());
  const std::vector<uint8_t> footer = header(false);
  tag.insert(tag.end(), footer.begin(), footer.end());
  return tag;
}

TEST(TrailingTags, AreNotDecodedAsAudio) {
  SKIP_WITHOUT_LAME();
  const fs::path file = Files::get().encoded("cbr_joint_stereo");
  ASSERT_FALSE(file.empty()) << "lame failed";
  const std::vector<uint8_t> plain = read_file(file);
  const Decoded reference = decode_file(file);
  const size_t frames = truth_of(plain).walk.offsets.size();
  const std::vector<uint8_t> id3v1 = id3v1_tag(), ape = apev2_tag();
  struct Case {
    const char* name;
    std::vector<std::vector<uint8_t>> tags;
  };
  TempDir dir;
  for (const Case& c : {Case{"id3v1", {id3v1}}, Case{"ape", {ape}}, Case{"ape+id3v1", {ape, id3v1}}}) {
    std::vector<uint8_t> bytes = plain;
    for (const auto& tag : c.tags) bytes.insert(bytes.end(), tag.begin(), tag.end());
    const fs::path tagged = dir / "tagged.mp3";
    write_file(tagged, bytes);
    Ibitstream stream(tagged.string());
    EXPECT_EQ(stream.audio_end(), plain.size()) << c.name;
    Header header;
    Crc16* crc = nullptr;
    size_t read = 0;
    while (header.read_frame_header(stream, crc)) ++read;
    EXPECT_EQ(read, frames) << c.name;
    const Decoded d = decode_file(tagged);
    EXPECT_EQ(d.frames, reference.frames) << c.name;
    EXPECT_EQ(d.pcm, reference.pcm) << c.name;
  }
}

TEST(LeadingTag, WithAPictureIsSkippedWholeWhateverThePictureHolds) {
  SKIP_WITHOUT_LAME();
  const fs::path file = Files::get().encoded("id3v2_picture");
  ASSERT_FALSE(file.empty()) << "lame failed";
  const std::vector<uint8_t> bytes = read_file(file);
  ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
  // ID3v2.4, 3.1: a 10-byte header whose size is four 7-bit bytes.
  const uint64_t tag =
      10 + (uint64_t{bytes[6]} << 21 | uint64_t{bytes[7]} << 14 | uint64_t{bytes[8]} << 7 | bytes[9]);
  Ibitstream stream(file.string());
  EXPECT_EQ(stream.audio_start(), tag);
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  EXPECT_EQ(stream.header_offset(), tag);
  EXPECT_TRUE(header.tag_frame());
  while (header.read_frame_header(stream, crc)) {
  }
  for (size_t k = 0; k < stream.frame_starts().size(); ++k) ASSERT_GE(stream.frame_starts().at(k), tag);
}

TEST(DamagedFiles, AFileCutInTheMiddleOfAFrameEndsAfterTheLastWholeFrame) {
  SKIP_WITHOUT_LAME();
  const fs::path file = Files::get().encoded("vbr_44100");
  ASSERT_FALSE(file.empty()) << "lame failed";
  std::vector<uint8_t> bytes = read_file(file);
  const Truth truth = truth_of(bytes);
  ASSERT_GT(truth.walk.offsets.size(), 101u);
  bytes.resize(truth.walk.offsets[100] + 150);
  TempDir dir;
  const fs::path cut = dir / "cut.mp3";
  write_file(cut, bytes);

  for (ChannelChoice choice : {ChoiceStereo, ChoiceLeft, ChoiceRight, ChoiceMono}) {
    const Decoded d = decode_file(cut, choice);
    ASSERT_TRUE(d.opened);
    EXPECT_NEAR(static_cast<double>(d.frames), 99.0, 1.0);  // frames 1..99; frame 0 is lame's header
  }
  Ibitstream stream(cut.string());
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  EXPECT_FALSE(header.seek_to_frame(stream, 150));
  EXPECT_FALSE(header.seek_to_frame(stream, 100));
  ASSERT_TRUE(header.seek_to_frame(stream, 99));
  EXPECT_EQ(stream.header_offset(), truth.walk.offsets[99]);
  ASSERT_TRUE(header.seek_to_frame(stream, 50));
  EXPECT_EQ(stream.header_offset(), truth.walk.offsets[50]);
}

TEST(DamagedFiles, RandomBytesEndCleanly) {
  std::mt19937 random(17);
  std::vector<uint8_t> bytes(300000);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  TempDir dir;
  write_file(dir / "random.mp3", bytes);
  for (ChannelChoice choice : {ChoiceStereo, ChoiceLeft, ChoiceRight, ChoiceMono}) {
    const Decoded d = decode_file(dir / "random.mp3", choice, choice == ChoiceRight);
    if (!d.opened) continue;
    EXPECT_LE(d.pcm.size() + d.floats.size(), d.frames * 1152 * d.channels);
  }
  // With seeks back and forth, in every channel choice and sample kind.
  for (int options = 0; options < 8; ++options) {
    bytes.back() = static_cast<uint8_t>(options | 0x38);
    fuzz::decode_bytes(bytes.data(), bytes.size());
  }
}

}  // namespace
}  // namespace vemla::test
