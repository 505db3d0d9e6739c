// vemla-decode --replaygain and --preamp: the output level follows the gain the file's tags give, whichever
// kind of tag holds it, and clipping prevention keeps a large gain from clipping a loud track.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <span>

#include "store_support.h"
#include "support.h"
#include "test_streams.h"
#include "track_files.h"
#include "track_tag.h"
#include "wav_file.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

const std::string kDecode = VEMLA_DECODE_TOOL;

struct Level {
  double rms_db = -INFINITY;
  int peak = 0;
  size_t clipped = 0;  // samples at full scale
};

class DecodeGain : public ::testing::Test {
 protected:
  void SetUp() override {
    if (layer3_file().empty()) GTEST_SKIP() << "lame is missing; the test files cannot be made";
  }
  // Decodes the files, as one stream, to raw 16-bit PCM with the options.
  std::vector<int16_t> samples(const std::vector<fs::path>& files, const std::string& options) {
    const fs::path out = dir / "out.raw";
    std::string inputs;
    for (const fs::path& file : files) inputs += "'" + file.string() + "' ";
    const int status = run("'" + kDecode + "' " + inputs + "-o '" + out.string() + "' " + options + " 2>'" +
                           (dir / "err.txt").string() + "'");
    EXPECT_EQ(status, 0) << file_text(dir / "err.txt");
    const std::vector<uint8_t> bytes = read_file(out);
    std::vector<int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
  }
  static Level measured(std::span<const int16_t> pcm) {
    Level level;
    double sum = 0;
    for (const int16_t s : pcm) {
      sum += static_cast<double>(s) * s;
      level.peak = std::max(level.peak, std::abs(int{s}));
      level.clipped += s == 32767 || s == -32768;
    }
    if (!pcm.empty()) level.rms_db = 10 * std::log10(sum / static_cast<double>(pcm.size()));
    return level;
  }
  Level decoded(const fs::path& file, const std::string& options) { return measured(samples({file}, options)); }
  double change_db(const fs::path& file, const std::string& options) {
    return decoded(file, options).rms_db - decoded(file, "").rms_db;
  }
  TempDir dir;
};

TEST_F(DecodeGain, LevelFollowsTheGainOfEveryKindOfTag) {
  const ReplayGain gains{-6.0, 0.5, -3.0, 0.5};
  using Writer = void (*)(const fs::path&, const ReplayGain&);
  for (const auto& [name, write] : {std::pair<const char*, Writer>{"txxx", add_replaygain_txxx},
                                    {"rva2", add_replaygain_rva2},
                                    {"ape", add_replaygain_ape}}) {
    SCOPED_TRACE(name);
    const fs::path file = copy_track(layer3_file(), dir / (std::string(name) + ".mp3"));
    write(file, gains);
    EXPECT_NEAR(change_db(file, "--replaygain off --preamp 5"), 0.0, 0.01);
    EXPECT_NEAR(change_db(file, "--replaygain track"), -6.0, 0.1);
    EXPECT_NEAR(change_db(file, "--replaygain track --preamp 2.5"), -3.5, 0.1);
    EXPECT_NEAR(change_db(file, "--replaygain album"), -3.0, 0.1);
  }
  // Album mode takes the track's gain where the file has no album gain.
  const fs::path track_only = copy_track(layer3_file(), dir / "track_only.mp3");
  add_replaygain_txxx(track_only, ReplayGain{-4.0, std::nullopt, std::nullopt, std::nullopt});
  EXPECT_NEAR(change_db(track_only, "--replaygain album"), -4.0, 0.1);
}

// Several inputs decode as one stream, each file at the level of its own tags.
TEST_F(DecodeGain, EachInputOfOneStreamTakesItsOwnGain) {
  const fs::path quiet = copy_track(layer3_file(), dir / "quiet.mp3");
  add_replaygain_txxx(quiet, ReplayGain{-6.0, 0.5, std::nullopt, std::nullopt});
  const fs::path plain = copy_track(layer3_file(), dir / "plain.mp3");
  const size_t first = samples({quiet}, "").size();
  const std::vector<int16_t> before = samples({quiet, plain}, "");
  const std::vector<int16_t> after = samples({quiet, plain}, "--replaygain track");
  ASSERT_EQ(after.size(), before.size());
  ASSERT_GT(before.size(), first);
  const std::span<const int16_t> b(before), a(after);
  EXPECT_NEAR(measured(a.first(first)).rms_db - measured(b.first(first)).rms_db, -6.0, 0.1);
  EXPECT_NEAR(measured(a.subspan(first)).rms_db - measured(b.subspan(first)).rms_db, 0.0, 0.01);
}

// --play gives the sound device what -o writes with the same options: each file at its own level, the first
// of a run and those that follow it without a break alike.
TEST_F(DecodeGain, PlayGivesTheDevicesTheSamplesOfTheDecoder) {
  const fs::path quiet = copy_track(layer3_file(), dir / "quiet.mp3");
  add_replaygain_txxx(quiet, ReplayGain{-6.0, 0.5, -2.0, 0.5});
  const fs::path plain = copy_track(layer3_file(), dir / "plain.mp3");
  const fs::path loud = copy_track(layer3_file(), dir / "loud.mp3");
  add_replaygain_rva2(loud, ReplayGain{4.0, 0.25, std::nullopt, std::nullopt});
  const std::vector<fs::path> files{quiet, plain, loud};
  const std::vector<int16_t> own = samples(files, "");
  for (const char* options : {"--replaygain track --preamp 2.5", "--replaygain album", "--replaygain off --preamp 5"}) {
    SCOPED_TRACE(options);
    const std::vector<int16_t> decoded = samples(files, options);
    ASSERT_EQ(decoded.size(), own.size());
    EXPECT_EQ(decoded == own, std::string(options).find("off") != std::string::npos);
    const fs::path played = dir / "played.wav";
    std::string inputs;
    for (const fs::path& file : files) inputs += "'" + file.string() + "' ";
    ASSERT_EQ(run("VEMLA_AUDIO='wav:" + played.string() + "' '" + kDecode + "' --play " + inputs + options +
                  " </dev/null >/dev/null 2>'" + (dir / "err.txt").string() + "'"),
              0)
        << file_text(dir / "err.txt");
    const std::vector<uint8_t> bytes = read_file(played);
    ASSERT_GT(bytes.size(), 44u);
    std::vector<int16_t> heard((bytes.size() - 44) / 2);
    std::memcpy(heard.data(), bytes.data() + 44, heard.size() * 2);
    // The device's last block may end in silence.
    ASSERT_GE(heard.size(), decoded.size());
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), heard.begin()));
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<long>(decoded.size()), heard.end(),
                            [](int16_t s) { return s == 0; }));
  }
}

TEST_F(DecodeGain, LameHeaderGainAppliesWithThePreamp) {
  write_test_wav(dir / "in.wav", 2, 44100, 3.0);
  ASSERT_EQ(run("lame --quiet '" + (dir / "in.wav").string() + "' '" + (dir / "lame.mp3").string() + "'"), 0);
  const std::optional<double> gain = read_tags(dir / "lame.mp3").gain.track_gain;
  ASSERT_TRUE(gain);
  // A pre-amp low enough that nothing clips whatever LAME measured.
  EXPECT_NEAR(change_db(dir / "lame.mp3", "--replaygain track --preamp -12"), *gain - 12, 0.1);
}

TEST_F(DecodeGain, ClippingPreventionCapsALargeGainOnALoudTrack) {
  // A sine near full scale (peak 0.9), tagged with +12 dB and its peak.
  std::vector<int16_t> pcm(44100 * 2 * 2);
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<int16_t>(29491.0 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i / 2) / 44100));
  {
    WavFile wav((dir / "loud.wav").string(), 2, 44100, WavFile::Sample::Int16);
    ASSERT_TRUE(wav.write(pcm.data(), pcm.size()) && wav.finish());
  }
  ASSERT_EQ(run("lame --quiet -t -b 192 '" + (dir / "loud.wav").string() + "' '" + (dir / "loud.mp3").string() + "'"), 0);
  const Level plain = decoded(dir / "loud.mp3", "");
  const double peak = plain.peak / 32768.0;
  add_replaygain_txxx(dir / "loud.mp3", ReplayGain{12.0, peak, std::nullopt, std::nullopt});

  const Level capped = decoded(dir / "loud.mp3", "--replaygain track");
  EXPECT_NEAR(capped.rms_db - plain.rms_db, -20 * std::log10(peak), 0.1);
  EXPECT_LE(capped.clipped, 2u);  // the peak lands on full scale, not beyond it
  EXPECT_GE(capped.peak, 32600);
}

}  // namespace
}  // namespace vemla::test
