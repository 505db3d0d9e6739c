// The loudness scan and where its results are kept: measurements that agree with ffmpeg's EBU R128 meter,
// albums measured whole, the scopes, tracks that cannot be read, and gains that stay with their track.
#include "gain_job.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <numbers>
#include <random>
#include <cstdlib>

#include "batch_move.h"
#include "schema.h"
#include "store_support.h"
#include "support.h"
#include "table.h"
#include "test_signal.h"
#include "track_files.h"
#include "track_import.h"
#include "track_ops.h"
#include "wav_file.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

// Writes `seconds` of a signal as WAV and encodes it with lame (no encoder's header, so that every decoder
// reads the same frames); false when lame or the encoding fails.
bool encode(const fs::path& mp3, const std::vector<int16_t>& pcm, unsigned channels, unsigned rate = 44100) {
  const fs::path wav = mp3.string() + ".wav";
  {
    WavFile file(wav.string(), channels, rate, WavFile::Sample::Int16);
    if (!file.write(pcm.data(), pcm.size()) || !file.finish()) return false;
  }
  return test::run("lame --quiet -t -b 192 " + std::string(channels == 1 ? "-m m " : "") + "'" + wav.string() +
                   "' '" + mp3.string() + "'") == 0;
}

std::vector<int16_t> sine(double seconds, double amplitude, unsigned channels) {
  std::vector<int16_t> pcm(static_cast<size_t>(seconds * 44100) * channels);
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<int16_t>(amplitude * 32767 * std::sin(2 * std::numbers::pi * 1000.0 * double(i / channels) / 44100));
  return pcm;
}

std::vector<int16_t> noise(double seconds, double amplitude) {
  std::mt19937 random(7);
  std::normal_distribution<double> gauss(0.0, amplitude * 32767 / 3);
  std::vector<int16_t> pcm(static_cast<size_t>(seconds * 44100) * 2);
  for (int16_t& s : pcm) s = static_cast<int16_t>(std::clamp(gauss(random), -32767.0, 32767.0));
  return pcm;
}

// ffmpeg's integrated loudness of the file (LUFS, to its one decimal); NaN when it cannot tell.
double ffmpeg_loudness(const fs::path& file, bool dual_mono = false) {
  const fs::path log = file.string() + ".log";
  test::run("ffmpeg -nostats -hide_banner -i '" + file.string() + "' -af ebur128" +
            (dual_mono ? "=dualmono=true" : "") + " -f null - 2>'" + log.string() + "'");
  const std::string text = test::file_text(log);
  // "Summary: ... Integrated loudness:\n    I:         -27.3 LUFS"
  const size_t summary = text.rfind("Summary:");
  const size_t at = summary == std::string::npos ? summary : text.find("I:", summary);
  if (at == std::string::npos) return NAN;
  char* end = nullptr;
  const double lufs = std::strtod(text.c_str() + at + 2, &end);
  return end == text.c_str() + at + 2 ? NAN : lufs;
}

double measured(const fs::path& file) {
  LoudnessMeter meter(file);
  meter.measure_all();
  EXPECT_EQ(meter.failed(), "");
  return meter.loudness();
}

TEST(LoudnessMeter, AgreesWithFfmpegOnNoiseSineAndMusic) {
  if (!test::have_program("lame") || !test::have_program("ffmpeg")) GTEST_SKIP() << "lame or ffmpeg is missing";
  test::TempDir dir;
  ASSERT_TRUE(encode(dir / "noise.mp3", noise(12, 0.5), 2));
  ASSERT_TRUE(encode(dir / "sine.mp3", sine(12, 0.25, 2), 2));
  ASSERT_TRUE(encode(dir / "music.mp3", make_test_signal(20, 44100, 2), 2));
  ASSERT_TRUE(encode(dir / "mono.mp3", make_test_signal(12, 44100, 1), 1));
  for (const char* name : {"noise.mp3", "sine.mp3", "music.mp3"}) {
    const double peer = ffmpeg_loudness(dir / name);
    ASSERT_FALSE(std::isnan(peer)) << name;
    EXPECT_NEAR(measured(dir / name), peer, 0.2) << name;
  }
  // A single channel counts as the same signal heard from both speakers.
  EXPECT_NEAR(measured(dir / "mono.mp3"), ffmpeg_loudness(dir / "mono.mp3", true), 0.2);
}

TEST(LoudnessMeter, SilenceHasNoGainAndBadFilesSayWhy) {
  if (!test::have_program("lame")) GTEST_SKIP() << "lame is missing";
  test::TempDir dir;
  ASSERT_TRUE(encode(dir / "silence.mp3", std::vector<int16_t>(44100 * 4, 0), 2));
  LoudnessMeter silence(dir / "silence.mp3");
  silence.measure_all();
  EXPECT_EQ(silence.failed(), "");
  EXPECT_FALSE(gain_for_loudness(silence.loudness()));
  EXPECT_EQ(silence.peak(), 0.0);

  test::write_text(dir / "text.mp3", "no audio here");
  LoudnessMeter text(dir / "text.mp3");
  EXPECT_TRUE(text.done());
  EXPECT_EQ(text.failed(), "no MPEG audio frame header found");
  LoudnessMeter missing(dir / "missing.mp3");
  EXPECT_NE(missing.failed(), "");
}

TEST(AlbumKey, SameTextAndFolderMakeOneAlbum) {
  EXPECT_EQ(album_key(" Greatest Hits ", "/m/a/1.mp3"), album_key("greatest hits", "/m/a/2.mp3"));
  EXPECT_NE(album_key("Greatest Hits", "/m/a/1.mp3"), album_key("Greatest Hits", "/m/b/1.mp3"));
  EXPECT_EQ(album_key("  ", "/m/a/1.mp3"), "");
}

class GainScan : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::have_program("lame")) GTEST_SKIP() << "lame is missing";
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    test::create_library(dir.path(), "Lib");
    tracks.set_table_name(library_tables("Lib").tracks);
    tracks.set_location(dir.path());
    tracks.open();
  }
  // Adds a sine track of that amplitude in the folder, with an album text (ID3v1) when given.
  int add(const std::string& name, double amplitude, const std::string& album, bool store = false) {
    const fs::path file = dir / name;
    EXPECT_TRUE(encode(file, sine(3, amplitude, 2), 2));
    if (!album.empty()) test::append_id3v1(file, name, "", album, "", "");
    const ImportOutcome outcome = import_track(tracks, file, store);
    EXPECT_TRUE(outcome.added()) << outcome.skipped;
    return outcome.record;
  }
  TrackGains gains_of(int record) {
    go_to_record(tracks, record);
    const std::optional<TrackGains> gains = read_gains(tracks);
    EXPECT_TRUE(gains) << "track " << record;
    return gains.value_or(TrackGains{});
  }
  test::TempDir dir;
  Table tracks;
};

TEST_F(GainScan, AlbumsAreMeasuredWholeAndLoneTracksAlone) {
  const int loud = add("a/loud.mp3", 0.5, "One");
  const int quiet = add("a/quiet.mp3", 0.25, "one ");
  const int elsewhere = add("b/other.mp3", 0.3, "One");
  const int lone = add("a/lone.mp3", 0.3, "");
  GainJob job(tracks, GainScope::Unmeasured);
  EXPECT_EQ(job.progress().total, 4);
  ASSERT_TRUE(run_to_end(job)) << job.error();
  EXPECT_EQ(job.measured(), 4);

  const TrackGains a = gains_of(loud), b = gains_of(quiet), c = gains_of(elsewhere), d = gains_of(lone);
  EXPECT_EQ(a.source, GainSource::Scan);
  ASSERT_TRUE(a.gain.track_gain && b.gain.track_gain && a.loudness && a.gain.album_gain && b.gain.album_gain);
  EXPECT_NEAR(*a.gain.track_gain, kReferenceLoudness - *a.loudness, 1e-9);
  // 6 dB between the two sines (close enough for the gate to keep both); the album lies between them.
  EXPECT_NEAR(*b.gain.track_gain - *a.gain.track_gain, 20 * std::log10(2.0), 0.1);
  EXPECT_EQ(a.gain.album_gain, b.gain.album_gain);
  EXPECT_GT(*a.gain.album_gain, *a.gain.track_gain);
  EXPECT_LT(*a.gain.album_gain, *b.gain.track_gain);
  EXPECT_NEAR(*a.gain.track_peak, 0.5, 0.02);
  EXPECT_EQ(a.gain.album_peak, a.gain.track_peak);
  // Another folder is another album; a track without an album text gets no album gain.
  EXPECT_NEAR(*c.gain.album_gain, *c.gain.track_gain, 1e-9);
  EXPECT_TRUE(d.gain.track_gain);
  EXPECT_FALSE(d.gain.album_gain);

  GainJob again(tracks, GainScope::Unmeasured);
  EXPECT_EQ(again.progress().total, 0);
  GainJob album(tracks, GainScope::AlbumOf, quiet);
  EXPECT_EQ(album.progress().total, 2);
  GainJob all(tracks, GainScope::All);
  EXPECT_EQ(all.progress().total, 4);
}

TEST_F(GainScan, StoredAudioIsMeasuredAndUnreadableTracksAreNamed) {
  const int stored = add("a/stored.mp3", 0.3, "Two", true);
  const int gone = add("a/gone.mp3", 0.3, "Two");
  const int kept = add("a/kept.mp3", 0.3, "Two");
  fs::remove(dir / "a/stored.mp3");
  // A pipe in a track's place would block a reader for ever: it is named instead.
  fs::remove(dir / "a/gone.mp3");
  ASSERT_EQ(::mkfifo((dir / "a/gone.mp3").c_str(), 0600), 0);
  GainJob job(tracks, GainScope::All);
  ASSERT_TRUE(run_to_end(job)) << job.error();
  EXPECT_EQ(job.measured(), 2);
  ASSERT_EQ(job.outcomes().size(), 3u);
  EXPECT_EQ(job.outcomes()[1].record, gone);
  EXPECT_NE(job.outcomes()[1].failed, "");
  EXPECT_NEAR(*gains_of(stored).gain.track_gain, *gains_of(kept).gain.track_gain, 0.05);
  go_to_record(tracks, gone);
  EXPECT_FALSE(read_gains(tracks));
  // No scratch copy stays behind.
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
    EXPECT_EQ(entry.path().filename().string().rfind("vemla-scan-" + std::to_string(::getpid()) + "-", 0),
              std::string::npos);
}

TEST_F(GainScan, CancelKeepsTheAlbumsDone) {
  add("a/1.mp3", 0.3, "First");
  add("b/2.mp3", 0.3, "Second");
  // The user's track stays current between the steps.
  go_to_record(tracks, 2);
  GainJob job(tracks, GainScope::All, 2);
  job.set_budget(std::chrono::milliseconds(0));
  while (job.outcomes().empty() && job.step()) ASSERT_EQ(tracks.record_number(), 2);
  EXPECT_EQ(tracks.record_number(), 2);
  job.cancel();
  EXPECT_FALSE(job.step());
  EXPECT_TRUE(job.cancelled());
  EXPECT_EQ(read_all_gains(tracks).size(), 1u);
}

TEST_F(GainScan, FixTakesTheTagsGainsUnlessMeasured) {
  const int plain = add("a/plain.mp3", 0.3, "");
  const int measured = add("a/measured.mp3", 0.3, "");
  go_to_record(tracks, measured);
  const TrackGains scanned{ReplayGain{-1.0, 0.3, {}, {}}, -17.0, GainSource::Scan};
  write_gains(tracks, scanned);
  // Tagged after they were added, as in a library from before gains were kept.
  const ReplayGain tagged{-7.0, 0.6, -8.0, 0.7};
  test::add_replaygain_txxx(dir / "a/plain.mp3", tagged);
  test::add_replaygain_txxx(dir / "a/measured.mp3", tagged);
  FixJob fix(tracks);
  ASSERT_TRUE(run_to_end(fix)) << fix.error();
  EXPECT_EQ(fix.filled(), 2);
  EXPECT_EQ(gains_of(plain), (TrackGains{tagged, std::nullopt, GainSource::Tag}));
  EXPECT_EQ(gains_of(measured), scanned);
}

TEST_F(GainScan, GainsStayWithTheirTrackAndOlderLibrariesHaveNone) {
  const int first = add("a/1.mp3", 0.3, "");
  add("a/2.mp3", 0.3, "");
  // A library that never kept gains reads none, and has no place for them yet.
  EXPECT_TRUE(read_all_gains(tracks).empty());
  go_to_record(tracks, first);
  EXPECT_FALSE(read_gains(tracks));
  EXPECT_EQ(tracks.store()->sql().execAndGet("SELECT count(*) FROM sqlite_master WHERE name='gains'").getInt(), 0);

  const TrackGains kept{ReplayGain{-5.0, 0.5, {}, {}}, -13.0, GainSource::Scan};
  go_to_record(tracks, 2);
  write_gains(tracks, kept);
  EXPECT_EQ(read_gains(tracks), kept);
  // A copy of the library keeps them.
  fs::create_directories(dir / "copy");
  Table copy(library_tables("Lib").tracks);
  copy.set_location(dir / "copy");
  BatchMove().copy(tracks, copy);
  copy.open();
  go_to_record(copy, 2);
  EXPECT_EQ(read_gains(copy), kept);
  copy.close();
  // Deleted with their track: the next track, which may take its row id, starts without any.
  go_to_record(tracks, 2);
  delete_track(tracks);
  test::append_track(tracks, "new");
  go_to_record(tracks, 2);
  EXPECT_FALSE(read_gains(tracks));
  EXPECT_TRUE(read_all_gains(tracks).empty());
  tracks.close();
  tracks.set_read_only(true);
  tracks.open();
  EXPECT_THROW(write_gains(tracks, kept), TableError);
  EXPECT_THROW(GainJob(tracks, GainScope::All), TableError);
}

}  // namespace
}  // namespace vemla
