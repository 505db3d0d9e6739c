// Streams other decoders play, made at test time by lame and twolame from the music-like test signal:
// MPEG 2.5 (8, 11.025 and 12 kHz) and free format. Decoded as mpg123 decodes them: the float output, before
// the 16-bit conversion, at 100 dB or better beside mpg123's, sample for sample; and frame counts, times and
// seeks as for the streams with a bit rate in their headers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "bitstream.h"
#include "frame_decoder.h"
#include "header.h"
#include "support.h"
#include "test_signal.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

struct Recipe {
  const char* name;
  const char* encoder;  // "lame" or "twolame"
  unsigned frequency;
  unsigned channels;
  const char* options;
};

const Recipe kRecipes[] = {
    {"mpeg25_8000_mono", "lame", 8000, 1, "-b 16"},
    {"mpeg25_8000_stereo", "lame", 8000, 2, "-V 4"},
    {"mpeg25_11025_mono", "lame", 11025, 1, "-V 6"},
    {"mpeg25_11025_stereo", "lame", 11025, 2, "-b 32"},
    {"mpeg25_12000_mono", "lame", 12000, 1, "-b 24"},
    {"mpeg25_12000_stereo", "lame", 12000, 2, "-V 2"},
    // Free format: 200 kbit/s pads frames at 44.1 kHz; 640 kbit/s is the highest Layer III rate taken.
    {"free_200_44100", "lame", 44100, 2, "--freeformat -b 200"},
    {"free_640_48000", "lame", 48000, 2, "--freeformat -b 640"},
    {"free_lsf_100_24000", "lame", 24000, 1, "--freeformat -b 100"},
    {"free_layer2_300_48000_crc", "twolame", 48000, 2, "--freeformat -p -b 300"},
};

const Recipe& recipe(const std::string& name) {
  for (const Recipe& r : kRecipes)
    if (name == r.name) return r;
  throw std::invalid_argument(name);
}

// The encoded file (3 seconds), or an empty path when the encoder is missing or failed.
fs::path encode(const TempDir& dir, const Recipe& r) {
  if (!have_program(r.encoder)) return {};
  const fs::path wav = dir / (std::string(r.name) + ".wav");
  write_test_signal_wav(wav.string(), 3.0, r.frequency, r.channels);
  const fs::path out = dir / (std::string(r.name) + (std::string(r.encoder) == "lame" ? ".mp3" : ".mp2"));
  const std::string resample =
      std::string(r.encoder) == "lame" ? " --resample " + std::to_string(r.frequency / 1000.0) : "";
  const std::string command = std::string(r.encoder) + " --quiet " + r.options + resample + " '" +
                              wav.string() + "' '" + out.string() + "' >/dev/null 2>&1";
  return run(command) == 0 && fs::exists(out) ? out : fs::path();
}

// mpg123's float samples of the whole stream (encoder delay and padding kept, as this decoder keeps them).
std::vector<float> mpg123_floats(const fs::path& file, const TempDir& dir) {
  const fs::path out = dir / "mpg123.f32";
  if (run("mpg123 -q --no-gapless -e f32 -s '" + file.string() + "' > '" + out.string() + "' 2>/dev/null") !=
      0)
    return {};
  const std::vector<uint8_t> bytes = read_file(out);
  std::vector<float> floats(bytes.size() / 4);
  std::memcpy(floats.data(), bytes.data(), floats.size() * 4);
  return floats;
}

class PeerStream : public testing::TestWithParam<std::string> {};

TEST_P(PeerStream, DecodesAsMpg123DecodesIt) {
  const Recipe& r = recipe(GetParam());
  if (!have_program("mpg123")) GTEST_SKIP() << "mpg123 is not installed: no peer to compare with";
  TempDir dir;
  const fs::path file = encode(dir, r);
  if (file.empty()) GTEST_SKIP() << r.encoder << " is not installed or failed";

  const Decoded ours = decode_file(file, ChoiceStereo, true);
  ASSERT_TRUE(ours.opened);
  EXPECT_EQ(ours.frequency, r.frequency);
  EXPECT_EQ(ours.channels, r.channels);
  const std::vector<float> theirs = mpg123_floats(file, dir);
  ASSERT_EQ(ours.floats.size(), theirs.size());
  ASSERT_GT(theirs.size(), r.frequency * r.channels * 2u);
  double squares = 0;
  for (size_t i = 0; i < theirs.size(); ++i) {
    const double difference = (double{ours.floats[i]} - theirs[i]) * 32768.0;
    squares += difference * difference;
  }
  const double rms = std::sqrt(squares / static_cast<double>(theirs.size()));
  EXPECT_GE(20 * std::log10(32767.0 / std::max(rms, 1e-9)), 100.0) << "rms " << rms << " steps";
}

// The facts stored for the track, the frame count and the seeks: as for any constant bit rate.
TEST_P(PeerStream, CountsAndSeeksItsFrames) {
  const Recipe& r = recipe(GetParam());
  TempDir dir;
  const fs::path file = encode(dir, r);
  if (file.empty()) GTEST_SKIP() << r.encoder << " is not installed or failed";

  // Every frame, counted as the decoder reads them, with where each starts.
  Ibitstream stream(file.string());
  Header header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_frame_header(stream, crc));
  EXPECT_STREQ(header.version_text(), r.frequency < 16000   ? "MPEG-2.5"
                                      : r.frequency < 32000 ? "MPEG-2 (LSF)"
                                                            : "MPEG-1");
  EXPECT_EQ(std::string(header.bitrate_text()) == "free format",
            std::string(r.options).find("freeformat") != std::string::npos);
  const unsigned estimate = header.frame_count_estimate(stream);
  std::vector<uint64_t> starts = {stream.header_offset()};
  while (header.read_frame_header(stream, crc)) starts.push_back(stream.header_offset());
  // lame's header frame, when it wrote one, is not counted.
  const unsigned audio_frames =
      static_cast<unsigned>(starts.size()) - (header.vbr_header().present() ? 1 : 0);
  EXPECT_NEAR(estimate, audio_frames, 1.0);
  EXPECT_NEAR(header.total_duration_ms(stream), 3000.0, 2 * header.frame_duration_ms() + 100);

  Ibitstream seeking(file.string());
  Header seeker;
  ASSERT_TRUE(seeker.read_frame_header(seeking, crc));
  for (const size_t n : {starts.size() / 2, size_t{3}, starts.size() - 1, size_t{0}}) {
    ASSERT_TRUE(seeker.seek_to_frame(seeking, static_cast<unsigned>(n))) << n;
    EXPECT_EQ(seeking.header_offset(), starts[n]) << n;
  }
  EXPECT_FALSE(seeker.seek_to_frame(seeking, static_cast<unsigned>(starts.size())));
}

std::string recipe_name(const testing::TestParamInfo<std::string>& info) {
  return info.param;
}

INSTANTIATE_TEST_SUITE_P(Mpeg25, PeerStream,
                         testing::Values("mpeg25_8000_mono", "mpeg25_8000_stereo", "mpeg25_11025_mono",
                                         "mpeg25_11025_stereo", "mpeg25_12000_mono", "mpeg25_12000_stereo"),
                         recipe_name);
INSTANTIATE_TEST_SUITE_P(FreeFormat, PeerStream,
                         testing::Values("free_200_44100", "free_640_48000", "free_lsf_100_24000",
                                         "free_layer2_300_48000_crc"),
                         recipe_name);

}  // namespace
}  // namespace vemla::test
