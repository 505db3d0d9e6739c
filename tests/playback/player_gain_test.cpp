// The player's output level: ReplayGain from the file's tags (as the library keeps them) applied in floating
// point before the 16-bit conversion, the same numbers as vemla-decode --replaygain; clipping prevention; the
// volume, before a run and during one.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <numbers>
#include <span>

#include "eventually.h"
#include "notifier.h"
#include "player.h"
#include "support.h"
#include "test_streams.h"
#include "track_files.h"
#include "track_tag.h"
#include "wav_device.h"
#include "wav_file.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

const std::string kDecode = VEMLA_DECODE_TOOL;

class GainChoices final : public PlayerSettings {
 public:
  int priority() override { return 3; }
  int mix_index() override { return 0; }
  GainSettings gains() override { return choices; }
  GainSettings choices;
};

class NoTitle final : public TitleLabel {
 public:
  void set_title_caption(std::string_view) override {}
};

class QuietNotifier final : public Notifier {
 public:
  void notify(std::string_view, std::string_view, MessageIcon) override {}
};

struct Level {
  double rms_db = -INFINITY;
  int peak = 0;
  size_t clipped = 0;  // samples at full scale
};

Level measured(std::span<const int16_t> pcm) {
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

std::vector<int16_t> pcm_of(const std::vector<uint8_t>& bytes, size_t skip) {
  std::vector<int16_t> pcm(bytes.size() > skip ? (bytes.size() - skip) / 2 : 0);
  if (!pcm.empty()) std::memcpy(pcm.data(), bytes.data() + skip, pcm.size() * 2);
  return pcm;
}

class PlayerGain : public ::testing::Test {
 protected:
  void SetUp() override {
    if (layer3_file().empty()) GTEST_SKIP() << "lame is missing; the test files cannot be made";
  }
  // What the WAV device got of the file's run, its gains read from its tags as import reads them. `during`
  // runs while the run plays.
  std::vector<int16_t> played(const fs::path& file, double volume = 1.0, const std::function<void(Player&)>& during = {}) {
    const fs::path out = dir / "heard.wav";
    Player player(settings, title, notes, std::make_unique<WavDevice>(out.string()));
    player.set_volume(volume);
    player.track_file_name = file.string();
    player.track_gain = read_tags(file).gain;
    EXPECT_TRUE(player.open_run());
    player.start_run();
    if (during) during(player);
    EXPECT_TRUE(eventually([&] { return player.done() || player.thread_finished(); }));
    EXPECT_TRUE(player.done());
    player.close_run();
    return pcm_of(read_file(out), 44);
  }
  // vemla-decode's samples of the file with these options.
  std::vector<int16_t> decoded(const fs::path& file, const std::string& options) {
    const fs::path out = dir / "out.raw";
    EXPECT_EQ(run("'" + kDecode + "' '" + file.string() + "' -o '" + out.string() + "' " + options), 0);
    return pcm_of(read_file(out), 0);
  }
  // The player's samples agree with the tool's; the player's last block is filled up with silence.
  static void expect_same_start(const std::vector<int16_t>& heard, const std::vector<int16_t>& tool) {
    ASSERT_GE(heard.size(), tool.size());
    EXPECT_TRUE(std::equal(tool.begin(), tool.end(), heard.begin()));
  }

  GainChoices settings;
  NoTitle title;
  QuietNotifier notes;
  TempDir dir;
};

TEST_F(PlayerGain, LevelFollowsTheChosenGainAsTheDecodeToolDoes) {
  const fs::path file = copy_track(layer3_file(), dir / "tagged.mp3");
  add_replaygain_rva2(file, ReplayGain{-6.0, 0.5, -3.0, 0.5});
  const double plain = measured(played(file)).rms_db;
  struct Case {
    ReplayGainMode mode;
    double preamp, change;
    const char* options;
  };
  for (const Case c : {Case{ReplayGainMode::Off, 5.0, 0.0, "--replaygain off --preamp 5"},
                       Case{ReplayGainMode::Track, 0.0, -6.0, "--replaygain track"},
                       Case{ReplayGainMode::Track, 2.5, -3.5, "--replaygain track --preamp 2.5"},
                       Case{ReplayGainMode::Album, 0.0, -3.0, "--replaygain album"}}) {
    SCOPED_TRACE(c.options);
    settings.choices.mode = c.mode;
    settings.choices.preamp = c.preamp;
    const std::vector<int16_t> heard = played(file);
    EXPECT_NEAR(measured(heard).rms_db - plain, c.change, 0.1);
    expect_same_start(heard, decoded(file, c.options));
  }
  // A track without gains plays at the fixed gain, whatever the pre-amp.
  settings.choices = {ReplayGainMode::Track, 6.0, true, -4.0, 1.0};
  const fs::path bare = copy_track(layer3_file(), dir / "bare.mp3");
  EXPECT_NEAR(measured(played(bare)).rms_db - plain, -4.0, 0.1);
}

TEST_F(PlayerGain, ClippingPreventionCapsALargeGainOnALoudTrack) {
  // A sine near full scale (peak 0.9), tagged with +12 dB and its peak.
  std::vector<int16_t> pcm(44100 * 2 * 2);
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<int16_t>(29491.0 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i / 2) / 44100));
  {
    WavFile wav((dir / "loud.wav").string(), 2, 44100, WavFile::Sample::Int16);
    ASSERT_TRUE(wav.write(pcm.data(), pcm.size()) && wav.finish());
  }
  ASSERT_EQ(run("lame --quiet -t -b 192 '" + (dir / "loud.wav").string() + "' '" + (dir / "loud.mp3").string() + "'"), 0);
  const Level plain = measured(played(dir / "loud.mp3"));
  const double peak = plain.peak / 32768.0;
  add_replaygain_txxx(dir / "loud.mp3", ReplayGain{12.0, peak, std::nullopt, std::nullopt});

  settings.choices.mode = ReplayGainMode::Track;
  const Level capped = measured(played(dir / "loud.mp3"));
  EXPECT_NEAR(capped.rms_db - plain.rms_db, -20 * std::log10(peak), 0.1);
  EXPECT_LE(capped.clipped, 2u);  // the peak lands on full scale, not beyond it
  EXPECT_GE(capped.peak, 32600);
  // Without it the gain is taken whole and the sine clips.
  settings.choices.prevent_clipping = false;
  EXPECT_GT(measured(played(dir / "loud.mp3")).clipped, 1000u);
}

TEST_F(PlayerGain, VolumeScalesTheSamplesByTheCurvesFactor) {
  const fs::path file = copy_track(layer3_file(), dir / "track.mp3");
  add_replaygain_ape(file, ReplayGain{-6.0, 0.5, std::nullopt, std::nullopt});
  settings.choices.mode = ReplayGainMode::Track;
  const std::vector<int16_t> full = played(file);
  const double factor = volume_factor(0.5);
  EXPECT_DOUBLE_EQ(factor, 0.125);
  const std::vector<int16_t> half = played(file, factor);
  ASSERT_EQ(half.size(), full.size());
  EXPECT_NEAR(measured(half).rms_db - measured(full).rms_db, 20 * std::log10(factor), 0.1);
  size_t off = 0;  // the scale is applied before the rounding: a sample may differ by one step
  for (size_t i = 0; i < full.size(); ++i) off += std::abs(half[i] - full[i] * factor) > 1.0;
  EXPECT_EQ(off, 0u);
  // Out of range is clamped.
  Player player(settings, title, notes, nullptr);
  player.set_volume(3.0);
  EXPECT_EQ(player.volume(), 1.0);
  player.set_volume(-1.0);
  EXPECT_EQ(player.volume(), 0.0);
}

// The WAV device, through which the volume is turned down at the moment the third block is written: as the
// window's thread would while the track plays.
class TurnedDownAtBlock final : public SoundDevice {
 public:
  TurnedDownAtBlock(const std::string& path, std::atomic<Player*>& player) : wav_(path), player_(player) {}
  bool open(const PcmFormat& format, std::string& reason) override { return wav_.open(format, reason); }
  bool is_open() const override { return wav_.is_open(); }
  void write(const WaveBlock& block) override {
    wav_.write(block);
    if (++blocks_ == 3) player_.load()->set_volume(0.0);
  }
  bool still_playing(const WaveBlock& block) override { return wav_.still_playing(block); }
  bool wait(const WaveBlock* block, std::chrono::milliseconds timeout) override { return wav_.wait(block, timeout); }
  void pause() override { wav_.pause(); }
  void restart() override { wav_.restart(); }
  void reset() override { wav_.reset(); }
  bool close() override { return wav_.close(); }
  std::string last_error() const override { return wav_.last_error(); }
  uint64_t played_frames() override { return wav_.played_frames(); }

 private:
  WavDevice wav_;
  std::atomic<Player*>& player_;
  int blocks_ = 0;
};

TEST_F(PlayerGain, VolumeChangedDuringARunAppliesWithinABlock) {
  write_test_wav(dir / "long.wav", 2, 44100, 8.0);
  const fs::path file = dir / "long.mp3";
  ASSERT_EQ(run("lame --quiet '" + (dir / "long.wav").string() + "' '" + file.string() + "'"), 0);
  const std::vector<int16_t> full = played(file);
  const fs::path out = dir / "turned.wav";
  std::atomic<Player*> target{nullptr};
  {
    Player player(settings, title, notes, std::make_unique<TurnedDownAtBlock>(out.string(), target));
    target = &player;
    player.track_file_name = file.string();
    ASSERT_TRUE(player.open_run());
    player.start_run();
    ASSERT_TRUE(eventually([&] { return player.done() || player.thread_finished(); }));
    EXPECT_TRUE(player.done());
    player.close_run();
  }
  const std::vector<int16_t> turned = pcm_of(read_file(out), 44);
  ASSERT_EQ(turned.size(), full.size());
  // Three blocks as they were; from the frame after the fourth block on, silence. Nothing went missing.
  const size_t block = 32 * 1152 * 2;
  ASSERT_GT(full.size(), 6 * block);
  EXPECT_TRUE(std::equal(full.begin(), full.begin() + 3 * block, turned.begin()));
  EXPECT_EQ(measured(std::span(turned).subspan(4 * block + 1152 * 2)).peak, 0);
}

}  // namespace
}  // namespace vemla::test
