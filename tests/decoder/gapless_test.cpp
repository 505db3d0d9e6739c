// Gapless decoding of files made by lame at every rate, bit-rate mode and channel count: exactly the
// source's samples in their places, nothing changed for files without the encoder's figures, figures that
// cannot be right ignored, and seeks that land on the sample a straight decode has there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "gapless_info.h"
#include "stream_decoder.h"
#include "support.h"
#include "test_files.h"
#include "test_signal.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

#define SKIP_WITHOUT_LAME() \
  if (!have_program("lame")) GTEST_SKIP() << "lame is not installed: no MP3 files can be made for this test"

constexpr double kSeconds = 1.3;

struct Gapless {
  GaplessInfo info;
  std::vector<int16_t> pcm;
  std::vector<float> floats;
  size_t frames = 0;  // frame ends the sink saw
};

Gapless decode_gapless(const fs::path& file, bool gapless = true, bool floats = false) {
  Gapless g;
  Ibitstream stream(file.string());
  Header header;
  Crc16* crc = nullptr;
  if (!header.read_frame_header(stream, crc)) return g;
  MemorySink sink(header.channels(), floats);
  StreamDecoder decoder(stream, header, sink, ChoiceStereo, gapless);
  g.info = decoder.gapless();
  EXPECT_TRUE(decoder.seek(0));
  crc = header.frame_crc();
  do decoder.decode_frame(crc);
  while (header.read_frame_header(stream, crc));
  decoder.finish(true);
  g.pcm = std::move(sink.pcm);
  g.floats = std::move(sink.floats);
  g.frames = sink.frame_ends.size();
  return g;
}

// A source and its encoding, made once per test program.
class Sources {
 public:
  static Sources& get() {
    static Sources s;
    return s;
  }
  struct Made {
    std::vector<int16_t> source;
    fs::path mp3;  // empty when lame failed
  };
  const Made& make(const std::string& options, unsigned frequency, unsigned channels) {
    const std::string key = options + "/" + std::to_string(frequency) + "/" + std::to_string(channels);
    auto it = made_.find(key);
    if (it != made_.end()) return it->second;
    const std::string name = "f" + std::to_string(made_.size());
    const fs::path wav = dir_ / (name + ".wav"), mp3 = dir_ / (name + ".mp3");
    write_test_signal_wav(wav.string(), kSeconds, frequency, channels);
    Made m{make_test_signal(kSeconds, frequency, channels), {}};
    // The rate is named so that lame never resamples.
    if (lame_encode(wav, mp3, options + " --resample " + std::to_string(frequency / 1000.0))) m.mp3 = mp3;
    return made_.emplace(key, std::move(m)).first->second;
  }
  const fs::path& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::map<std::string, Made> made_;
};

struct Kind {
  const char* mode;  // lame's options
  unsigned frequency;
  unsigned channels;
};

void PrintTo(const Kind& k, std::ostream* os) {
  *os << "lame " << k.mode << ", " << k.frequency << " Hz, " << k.channels << " channel(s)";
}

std::string kind_name(const testing::TestParamInfo<Kind>& info) {
  std::string mode = info.param.mode;
  mode = mode.substr(0, mode.find(' ')).substr(mode[0] == '-' && mode[1] == '-' ? 2 : 1);
  return mode + "_" + std::to_string(info.param.frequency) + (info.param.channels == 1 ? "_mono" : "_stereo");
}

class LameFile : public testing::TestWithParam<Kind> {};

TEST_P(LameFile, DecodesToExactlyTheSourcesSamplesInPlace) {
  SKIP_WITHOUT_LAME();
  const Kind k = GetParam();
  const Sources::Made& made = Sources::get().make(k.mode, k.frequency, k.channels);
  ASSERT_FALSE(made.mp3.empty()) << "lame failed";
  const Gapless g = decode_gapless(made.mp3);
  EXPECT_EQ(g.info.source, GaplessInfo::Source::Lame);
  EXPECT_EQ(g.info.samples * k.channels, made.source.size());
  ASSERT_EQ(g.pcm.size(), made.source.size());
  // In place: no offset fits the source better than none.
  const Comparison c = compare_aligned(as_steps(g.pcm), made.source, k.channels, 2 * 1152);
  EXPECT_EQ(c.offset, 0);
  EXPECT_GT(c.psnr, 20.0);
}

INSTANTIATE_TEST_SUITE_P(Lame, LameFile,
                         testing::Values(Kind{"-b 128", 44100, 2}, Kind{"-b 64", 44100, 1},
                                         Kind{"-V 2", 44100, 2}, Kind{"--abr 96", 44100, 1},
                                         Kind{"-b 160", 48000, 2}, Kind{"-V 4", 48000, 1},
                                         Kind{"--abr 128", 48000, 2}, Kind{"-b 96", 32000, 1},
                                         Kind{"-V 3", 32000, 2}, Kind{"--abr 80", 32000, 2},
                                         Kind{"-b 64", 22050, 2}, Kind{"-V 6", 22050, 1},
                                         Kind{"--abr 48", 22050, 2}, Kind{"-b 64", 16000, 1},
                                         Kind{"-V 5", 16000, 2}, Kind{"--abr 40", 16000, 1}),
                         kind_name);

TEST(LameFile, FloatSamplesAreTrimmedAlike) {
  SKIP_WITHOUT_LAME();
  const Sources::Made& made = Sources::get().make("-V 2", 44100, 2);
  ASSERT_FALSE(made.mp3.empty()) << "lame failed";
  const Gapless ints = decode_gapless(made.mp3);
  const Gapless floats = decode_gapless(made.mp3, true, true);
  ASSERT_EQ(floats.floats.size(), ints.pcm.size());
  // The 16-bit samples are the float ones converted (and clipped).
  for (size_t i = 0; i < ints.pcm.size(); i += 97)
    ASSERT_NEAR(std::clamp(floats.floats[i] * 32768.0f, -32768.0f, 32767.0f), ints.pcm[i], 1.0f) << i;
}

// Without the tag, and with gapless decoding off, the samples are what the frames give, bit for bit.
TEST(LameFile, WithoutFiguresOrGaplessEveryDecodedSampleStays) {
  SKIP_WITHOUT_LAME();
  const Sources::Made& tagged = Sources::get().make("-b 128", 44100, 2);
  const Sources::Made& bare = Sources::get().make("-b 128 -t", 44100, 2);
  ASSERT_FALSE(tagged.mp3.empty() || bare.mp3.empty()) << "lame failed";
  for (const auto& [file, gapless] : {std::pair{bare.mp3, true}, std::pair{tagged.mp3, false}}) {
    for (bool floats : {false, true}) {
      const Decoded plain = decode_file(file, ChoiceStereo, floats);
      const Gapless g = decode_gapless(file, gapless, floats);
      EXPECT_FALSE(g.info.known());
      EXPECT_EQ(g.frames, plain.frames);
      EXPECT_EQ(g.pcm, plain.pcm);
      EXPECT_EQ(g.floats, plain.floats);
    }
  }
  // Tagged or not, lame encodes the same frames: the figures drop what the bare file keeps.
  const Gapless with = decode_gapless(tagged.mp3), without = decode_gapless(bare.mp3);
  const uint64_t dropped = without.pcm.size() / 2 - with.pcm.size() / 2;
  EXPECT_EQ(dropped, uint64_t{with.info.delay} + with.info.padding);
}

// Patches the 12-bit delay and padding of lame's tag.
std::vector<uint8_t> with_figures(std::vector<uint8_t> bytes, unsigned delay, unsigned padding) {
  const FrameWalk walk = walk_frames(bytes);
  const size_t xing = walk.offsets.at(0) + 4 + xing_offset(bytes, walk.offsets[0]);
  const size_t at = xing + 8 + 4 + 4 + 100 + 4 + 21;  // frames, bytes, table and quality, then LAME's fields
  EXPECT_EQ(
      std::string(bytes.begin() + static_cast<long>(at) - 21, bytes.begin() + static_cast<long>(at) - 17),
      "LAME");
  bytes[at] = static_cast<uint8_t>(delay >> 4);
  bytes[at + 1] = static_cast<uint8_t>((delay & 15) << 4 | padding >> 8);
  bytes[at + 2] = static_cast<uint8_t>(padding);
  return bytes;
}

TEST(GaplessFigures, ThoseThatCannotBeRightAreIgnored) {
  SKIP_WITHOUT_LAME();
  const Sources::Made& made = Sources::get().make("-b 128", 44100, 2);
  ASSERT_FALSE(made.mp3.empty()) << "lame failed";
  const std::vector<uint8_t> bytes = read_file(made.mp3);
  const uint64_t decoded = (walk_frames(bytes).offsets.size() - 1) * 1152;
  const fs::path patched = Sources::get().dir() / "patched.mp3";
  struct Case {
    unsigned delay, padding;
    bool used;
  };
  for (const Case c :
       {Case{576, 1152 + 529, true}, Case{576, 1152 + 530, false}, Case{4095, 0, true}, Case{0, 0, true}}) {
    write_file(patched, with_figures(bytes, c.delay, c.padding));
    const Gapless g = decode_gapless(patched);
    EXPECT_EQ(g.info.known(), c.used) << c.delay << "/" << c.padding;
    // A padding shorter than the decoder's delay ends beyond the decoded samples: they end the track.
    const uint64_t expected = c.used ? decoded - c.delay - std::max(c.padding, kDecoderDelay) : decoded;
    EXPECT_EQ(g.pcm.size() / 2, expected) << c.delay << "/" << c.padding;
  }
  // Figures that leave nothing of a file of two frames.
  std::vector<uint8_t> two(bytes.begin(), bytes.begin() + static_cast<long>(walk_frames(bytes).offsets[3]));
  write_file(patched, with_figures(two, 2000, 400));
  EXPECT_FALSE(decode_gapless(patched).info.known());
}

// An ID3v2.3 tag whose comment frame holds the iTunes figures.
std::vector<uint8_t> itunes_tag(unsigned delay, unsigned padding) {
  char text[64];
  std::snprintf(text, sizeof text, " 00000000 %08X %08X 0000000000000000", delay, padding);
  const std::string data = std::string(1, '\0') + "eng" + "iTunSMPB" + '\0' + text + '\0';
  const std::string frame =
      std::string("COMM\0\0\0", 7) + static_cast<char>(data.size()) + '\0' + '\0' + data;
  const std::string tag = std::string("ID3\3\0\0\0\0\0", 9) + static_cast<char>(frame.size()) + frame;
  return std::vector<uint8_t>(tag.begin(), tag.end());
}

TEST(GaplessFigures, AnItunesCommentGivesThemWhereNoLameTagDoes) {
  SKIP_WITHOUT_LAME();
  const Sources::Made& bare = Sources::get().make("-b 128 -t", 44100, 2);
  const Sources::Made& tagged = Sources::get().make("-b 128", 44100, 2);
  ASSERT_FALSE(bare.mp3.empty() || tagged.mp3.empty()) << "lame failed";
  const GaplessInfo lame = decode_gapless(tagged.mp3).info;
  std::vector<uint8_t> bytes = itunes_tag(lame.delay, lame.padding);
  const std::vector<uint8_t> audio = read_file(bare.mp3);
  bytes.insert(bytes.end(), audio.begin(), audio.end());
  const fs::path file = Sources::get().dir() / "itunes.mp3";
  write_file(file, bytes);
  const Gapless g = decode_gapless(file);
  EXPECT_EQ(g.info.source, GaplessInfo::Source::Itunes);
  EXPECT_EQ(g.info.first_audio_frame, 0);
  EXPECT_EQ(g.pcm, decode_gapless(tagged.mp3).pcm);
}

// Decodes `frames` frames from the one the stream holds.
std::vector<int16_t> play(StreamDecoder& decoder, Ibitstream& stream, Header& header, MemorySink& sink,
                          size_t frames) {
  Crc16* crc = header.frame_crc();
  size_t n = 0;
  do decoder.decode_frame(crc);
  while (++n < frames && header.read_frame_header(stream, crc));
  if (n < frames) decoder.finish(true);
  return sink.pcm;
}

class GaplessSeek : public testing::TestWithParam<Kind> {};

TEST_P(GaplessSeek, LandsOnTheSampleTheStraightDecodeHasThere) {
  SKIP_WITHOUT_LAME();
  const Kind k = GetParam();
  const Sources::Made& made = Sources::get().make(k.mode, k.frequency, k.channels);
  ASSERT_FALSE(made.mp3.empty()) << "lame failed";
  const std::vector<int16_t> straight = decode_gapless(made.mp3).pcm;

  Ibitstream stream(made.mp3.string());
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  MemorySink sink(k.channels);
  StreamDecoder decoder(stream, header, sink, ChoiceStereo, true);
  const GaplessInfo& info = decoder.gapless();
  ASSERT_TRUE(info.known());
  const unsigned last =
      static_cast<unsigned>(info.first_audio_frame) + header.frame_count_estimate(stream) - 1;
  for (unsigned n : {last / 2, 1u, 2u, 3u, last - 1, 9u, last / 3}) {
    ASSERT_TRUE(decoder.seek(n)) << n;
    ASSERT_EQ(stream.current_frame(), static_cast<int>(n));
    const std::vector<int16_t> heard = play(decoder, stream, header, sink, 4);
    const uint64_t at = (n - info.first_audio_frame) * uint64_t{info.frame_samples};
    const size_t from = (at > info.first_sample() ? at - info.first_sample() : 0) * k.channels;
    ASSERT_GT(heard.size(), 0u) << n;
    ASSERT_LE(from + heard.size(), straight.size()) << n;
    // From the last frames on, to the very end.
    if (n == last - 1) {
      EXPECT_EQ(from + heard.size(), straight.size());
    }
    int worst = 0;
    for (size_t i = 0; i < heard.size(); ++i)
      worst = std::max(worst, std::abs(heard[i] - straight[from + i]));
    // The synthesis filters' sums run in another order after a seek: a step at most.
    EXPECT_LE(worst, 1) << "seek to " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Lame, GaplessSeek,
                         testing::Values(Kind{"-b 128", 44100, 2}, Kind{"-V 2", 48000, 2},
                                         Kind{"-V 6", 22050, 1}, Kind{"-b 64", 16000, 1}),
                         kind_name);

}  // namespace
}  // namespace vemla::test
