// vemla-decode with gapless files as a user runs it: exactly the source's samples (as many as the peers
// give, in the same places), several files as one unbroken stream written or played, files of different
// formats refused before anything is written, and the encoder's figures in --info.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support.h"
#include "test_files.h"
#include "test_signal.h"
#include "test_streams.h"
#include "wav_file.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

const std::string kTool = VEMLA_DECODE_TOOL;

#define SKIP_WITHOUT_LAME() \
  if (!have_program("lame")) GTEST_SKIP() << "lame is not installed: no MP3 files can be made for this test"

std::string quoted(const fs::path& p) {
  return "'" + p.string() + "'";
}

std::string read_text(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The 16-bit samples of a PCM WAV file as vemla-decode and mpg123 write it (a 44-byte header).
std::vector<int16_t> wav_samples(const fs::path& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  std::vector<int16_t> samples(bytes.size() > 44 ? (bytes.size() - 44) / 2 : 0);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  return samples;
}

void write_wav(const fs::path& path, const std::vector<int16_t>& samples, unsigned channels, unsigned rate) {
  WavFile wav(path.string(), channels, rate, WavFile::Sample::Int16);
  wav.write(samples.data(), samples.size());
  ASSERT_TRUE(wav.finish());
}

// A mono sine cut into three files at odd places and encoded by lame without its lowpass, which would
// smear the cut edges.
class SplitSine : public testing::Test {
 protected:
  static constexpr unsigned kRate = 44100;
  static constexpr double kAmplitude = 12000, kHz = 1000;
  void SetUp() override {
    SKIP_WITHOUT_LAME();
    for (size_t i = 0; i < 3 * kRate; ++i)
      sine.push_back(static_cast<int16_t>(std::lround(kAmplitude * std::sin(2 * M_PI * kHz * i / kRate))));
    cuts = {0, 48011, 97333, sine.size()};
    for (int k = 0; k < 3; ++k) {
      const fs::path wav = dir / ("part" + std::to_string(k) + ".wav");
      write_wav(wav, std::vector<int16_t>(sine.begin() + cuts[k], sine.begin() + cuts[k + 1]), 1, kRate);
      parts.push_back(dir / ("part" + std::to_string(k) + ".mp3"));
      ASSERT_TRUE(lame_encode(wav, parts.back(), "-b 320 --lowpass -1")) << "lame failed";
    }
  }
  std::string inputs() const { return quoted(parts[0]) + " " + quoted(parts[1]) + " " + quoted(parts[2]); }
  // No sample moves by more than the sine's own largest step, plus a little for the coding.
  void expect_one_sine(const std::vector<int16_t>& decoded) {
    ASSERT_EQ(decoded.size(), sine.size());
    const double own = 2 * kAmplitude * std::sin(M_PI * kHz / kRate);
    for (size_t join : {cuts[1], cuts[2]}) {
      double largest = 0;
      for (size_t i = join - 200; i < join + 200; ++i)
        largest = std::max(largest, std::abs(double(decoded[i + 1]) - decoded[i]));
      EXPECT_LE(largest, own * 1.05) << "at the join at " << join;
    }
    const Comparison c = compare_aligned(as_steps(decoded), sine, 1, 100);
    EXPECT_EQ(c.offset, 0);
    EXPECT_LT(c.max_difference, kAmplitude / 20);
  }
  TempDir dir;
  std::vector<int16_t> sine;
  std::vector<size_t> cuts;
  std::vector<fs::path> parts;
};

TEST_F(SplitSine, ThreeFilesDecodeToOneUnbrokenSine) {
  ASSERT_EQ(run(kTool + " " + inputs() + " -o " + quoted(dir / "all.wav")), 0);
  expect_one_sine(wav_samples(dir / "all.wav"));
  // The same samples from each file alone, one after the other.
  std::vector<int16_t> joined;
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(run(kTool + " " + quoted(parts[k]) + " -o " + quoted(dir / "one.wav")), 0);
    const std::vector<int16_t> one = wav_samples(dir / "one.wav");
    EXPECT_EQ(one.size(), cuts[k + 1] - cuts[k]);
    joined.insert(joined.end(), one.begin(), one.end());
  }
  EXPECT_EQ(joined, wav_samples(dir / "all.wav"));
}

#ifdef VEMLA_TEST_PLAY
TEST_F(SplitSine, ThreeFilesPlayAsOneStreamOnTheDevice) {
  ASSERT_EQ(run(kTool + " --play " + inputs() + " --device 'wav:" + (dir / "played.wav").string() +
                "' </dev/null >/dev/null 2>&1"),
            0);
  expect_one_sine(wav_samples(dir / "played.wav"));
  // --no-gapless plays every decoded sample, the last block filled with silence.
  ASSERT_EQ(run(kTool + " --play --no-gapless " + inputs() +
                " --device 'wav:" + (dir / "whole.wav").string() + "' </dev/null >/dev/null 2>&1"),
            0);
  EXPECT_EQ(wav_samples(dir / "whole.wav").size() % (32 * 1152), 0u);
  EXPECT_GT(wav_samples(dir / "whole.wav").size(), sine.size() + 3 * 1105);
}
#endif

// A lame file at `rate` of the music-like test signal; the source's samples in `source`.
fs::path lame_file(const TempDir& dir, const std::string& name, const std::string& options, unsigned rate,
                   unsigned channels, std::vector<int16_t>* source = nullptr) {
  const fs::path wav = dir / (name + ".wav"), mp3 = dir / (name + ".mp3");
  write_test_signal_wav(wav.string(), 2.1, rate, channels);
  if (source) *source = make_test_signal(2.1, rate, channels);
  return lame_encode(wav, mp3, options + " --resample " + std::to_string(rate / 1000.0)) ? mp3 : fs::path();
}

TEST(GaplessDecode, GivesThePeersCountSampleForSample) {
  SKIP_WITHOUT_LAME();
  TempDir dir;
  for (const auto& [options, rate, channels] :
       {std::tuple{"-b 128", 44100u, 2u}, std::tuple{"-V 5", 22050u, 1u},
        std::tuple{"--abr 64", 32000u, 2u}}) {
    std::vector<int16_t> source;
    const fs::path mp3 = lame_file(dir, "peer", options, rate, channels, &source);
    ASSERT_FALSE(mp3.empty()) << "lame failed";
    ASSERT_EQ(run(kTool + " " + quoted(mp3) + " -o " + quoted(dir / "ours.wav")), 0);
    const std::vector<int16_t> ours = wav_samples(dir / "ours.wav");
    EXPECT_EQ(ours.size(), source.size()) << options;
    EXPECT_EQ(compare_aligned(as_steps(ours), source, channels, 2000).offset, 0) << options;
    if (have_program("mpg123")) {
      ASSERT_EQ(run("mpg123 -q -w " + quoted(dir / "mpg123.wav") + " " + quoted(mp3) + " 2>/dev/null"), 0);
      const std::vector<int16_t> theirs = wav_samples(dir / "mpg123.wav");
      ASSERT_EQ(theirs.size(), ours.size()) << options;
      const Comparison c = compare_aligned(as_steps(ours), theirs, channels, 0);
      EXPECT_LE(c.max_difference, 1.0) << options;
    }
    if (have_program("ffmpeg")) {
      ASSERT_EQ(
          run("ffmpeg -loglevel error -y -i " + quoted(mp3) + " -f s16le " + quoted(dir / "ffmpeg.raw")), 0);
      std::vector<uint8_t> raw = read_file(dir / "ffmpeg.raw");
      std::vector<int16_t> theirs(raw.size() / 2);
      std::memcpy(theirs.data(), raw.data(), theirs.size() * 2);
      ASSERT_EQ(theirs.size(), ours.size()) << options;
      const Comparison c = compare_aligned(as_steps(ours), theirs, channels, 50);
      EXPECT_EQ(c.offset, 0) << options;
      EXPECT_GT(c.psnr, 60.0) << options;
    }
  }
}

TEST(GaplessDecode, NoGaplessKeepsEveryDecodedSample) {
  SKIP_WITHOUT_LAME();
  TempDir dir;
  const fs::path mp3 = lame_file(dir, "a", "-b 128", 44100, 2);
  ASSERT_FALSE(mp3.empty()) << "lame failed";
  for (const char* f32 : {"", " --f32"}) {
    ASSERT_EQ(run(kTool + " --no-gapless" + f32 + " " + quoted(mp3) + " -o " + quoted(dir / "raw.raw")), 0);
    const Decoded plain = decode_file(mp3, ChoiceStereo, *f32 != 0);
    const std::vector<uint8_t> written = read_file(dir / "raw.raw");
    const size_t bytes = *f32 ? plain.floats.size() * 4 : plain.pcm.size() * 2;
    ASSERT_EQ(written.size(), bytes) << f32;
    EXPECT_EQ(std::memcmp(written.data(),
                          *f32 ? static_cast<const void*>(plain.floats.data()) : plain.pcm.data(), bytes),
              0)
        << f32;
  }
}

TEST(GaplessDecode, FilesOfOtherFormatsAreRefusedAndNothingWritten) {
  SKIP_WITHOUT_LAME();
  TempDir dir;
  const fs::path a = lame_file(dir, "a", "-b 128", 44100, 2), b = lame_file(dir, "b", "-b 128", 48000, 2);
  const fs::path mono = lame_file(dir, "mono", "-b 64", 44100, 1);
  ASSERT_FALSE(a.empty() || b.empty() || mono.empty()) << "lame failed";
  write_file(dir / "out.wav", {'e', 'a', 'r', 'l', 'i', 'e', 'r'});
  for (const fs::path& other : {b, mono}) {
    EXPECT_EQ(run(kTool + " " + quoted(a) + " " + quoted(other) + " -o " + quoted(dir / "out.wav") + " 2> " +
                  quoted(dir / "err.txt")),
              1);
    const std::string err = read_text(dir / "err.txt");
    EXPECT_EQ(err.rfind("vemla-decode: " + other.string() + " is ", 0), 0u) << err;
    EXPECT_NE(err.find("decode them one at a time"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(read_text(dir / "out.wav"), "earlier");
    EXPECT_TRUE(part_files(dir.path()).empty());
  }
  // Mixed down to one channel, the stereo file agrees with the mono one.
  EXPECT_EQ(run(kTool + " --mix mono " + quoted(a) + " " + quoted(mono) + " -o " + quoted(dir / "out.wav")),
            0);
  EXPECT_EQ(wav_samples(dir / "out.wav").size(), size_t{2} * 92610);
#ifdef VEMLA_TEST_PLAY
  // Played, the file of another format opens the device anew: the wav: device then starts its file again.
  ASSERT_EQ(run(kTool + " --play " + quoted(a) + " " + quoted(b) +
                " --device 'wav:" + (dir / "played.wav").string() + "' </dev/null >/dev/null 2>&1"),
            0);
  const std::vector<uint8_t> played = read_file(dir / "played.wav");
  ASSERT_GT(played.size(), 44u);
  EXPECT_EQ(played[24] | played[25] << 8 | played[26] << 16, 48000);
  EXPECT_EQ(wav_samples(dir / "played.wav").size(), size_t{2} * 100800);
#endif
}

TEST(GaplessDecode, InfoShowsTheEncodersFigures) {
  SKIP_WITHOUT_LAME();
  TempDir dir;
  const fs::path tagged = lame_file(dir, "tagged", "-b 128", 44100, 2);
  const fs::path bare = lame_file(dir, "bare", "-b 128 -t", 44100, 2);
  ASSERT_FALSE(tagged.empty() || bare.empty()) << "lame failed";
  ASSERT_EQ(run(kTool + " --info " + quoted(tagged) + " > " + quoted(dir / "info.txt")), 0);
  const std::string info = read_text(dir / "info.txt");
  // 2.1 s at 44.1 kHz: 92610 samples, 2100 ms, whatever the frames hold.
  for (const char* line : {"TRACKTOTAL  2100\n", "DELAY       576\n", "SAMPLES     92610\n", "PADDING     "})
    EXPECT_NE(info.find(line), std::string::npos) << line << " in\n" << info;
  ASSERT_EQ(run(kTool + " --info " + quoted(bare) + " " + quoted(tagged) + " > " + quoted(dir / "both.txt")),
            0);
  const std::string both = read_text(dir / "both.txt");
  const size_t second = both.find("\nFILE        " + tagged.string() + "\n");
  EXPECT_EQ(both.rfind("FILE        " + bare.string() + "\n", 0), 0u) << both;
  ASSERT_NE(second, std::string::npos) << both;
  EXPECT_EQ(both.find("DELAY"), both.find("DELAY", second)) << "the bare file has no figures: " << both;
}

}  // namespace
}  // namespace vemla::test
