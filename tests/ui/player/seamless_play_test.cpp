// Tracks that follow each other without a break in the whole program: a sine cut into three files plays as
// one on the WAV device, opened once; another sampling rate reopens it; the displays change when the next
// track is heard, not when it is decoded; Pause, a seek, Next and Stop while the next track is on its way;
// stored tracks with temporary files of their own; and the option that turns it off.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <cmath>
#include <cstring>

#include "following_tracks.h"
#include "options_dialog.h"
#include "program_library.h"
#include "replaygain_options.h"
#include "test_files.h"
#include "track_gains.h"
#include "track_source.h"
#include "transport.h"
#include "wav_device.h"
#include "wav_file.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

// The WAV device, paced by a silent device at a test's speed: what is written goes into the file, what is
// heard is when the silent device has played it.
class PacedWavDevice final : public SoundDevice {
 public:
  PacedWavDevice(std::string path, double speed) : wav_(std::move(path)), null_(speed) {}
  bool open(const PcmFormat& format, std::string& reason) override {
    ++opens;
    return wav_.open(format, reason) && null_.open(format, reason);
  }
  bool is_open() const override { return wav_.is_open() && null_.is_open(); }
  void write(const WaveBlock& block) override {
    wav_.write(block);
    null_.write(block);
  }
  bool still_playing(const WaveBlock& block) override { return null_.still_playing(block); }
  bool wait(const WaveBlock* block, std::chrono::milliseconds timeout) override { return null_.wait(block, timeout); }
  void pause() override {
    wav_.pause();
    null_.pause();
  }
  void restart() override {
    wav_.restart();
    null_.restart();
  }
  void reset() override {
    wav_.reset();
    null_.reset();
  }
  bool close() override { return wav_.close() & null_.close(); }
  std::string last_error() const override { return wav_.last_error(); }
  uint64_t played_frames() override { return null_.played_frames(); }

  NullDevice& null() { return null_; }
  std::atomic<int> opens{0};

 private:
  WavDevice wav_;
  NullDevice null_;
};

// The first channel of a 16-bit PCM WAV file as the WAV device writes it (a 44-byte header).
std::vector<int16_t> first_channel(const fs::path& path) {
  const std::vector<uint8_t> bytes = test::read_file(path);
  if (bytes.size() <= 44) return {};
  const unsigned channels = bytes[22] | bytes[23] << 8;
  std::vector<int16_t> all((bytes.size() - 44) / 2);
  std::memcpy(all.data(), bytes.data() + 44, all.size() * 2);
  std::vector<int16_t> first;
  for (size_t i = 0; i + channels <= all.size(); i += channels) first.push_back(all[i]);
  return first;
}

class SeamlessPlayTest : public test::ProgramTest {
 protected:
  static constexpr unsigned kRate = 44100;
  static constexpr double kAmplitude = 12000, kHz = 1000;
  static constexpr double kSpeed = 4;

  static void SetUpTestSuite() {
    ProgramTest::SetUpTestSuite();
    if (!made_ || !test::have_program("lame")) return;
    // A mono sine of 6 s cut at odd places, encoded without lame's lowpass, which would smear the cut edges.
    for (size_t i = 0; i < 6 * kRate; ++i)
      sine_.push_back(static_cast<int16_t>(std::lround(kAmplitude * std::sin(2 * M_PI * kHz * i / kRate))));
    cuts_ = {0, 96011, 185333, sine_.size()};
    for (int k = 0; k < 3; ++k) {
      const fs::path wav = *sources_ / ("part" + std::to_string(k) + ".wav");
      {
        WavFile out(wav.string(), 1, kRate, WavFile::Sample::Int16);
        out.write(sine_.data() + cuts_[k], cuts_[k + 1] - cuts_[k]);
        if (!out.finish()) return;
      }
      if (!test::lame_encode(wav, part(k), "-b 320 --lowpass -1")) return;
    }
    album_made_ = true;
  }
  static fs::path part(int k) { return *sources_ / ("part" + std::to_string(k) + ".mp3"); }

  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    if (!album_made_) GTEST_SKIP() << "lame is needed to make the album";
    TForm2::set_gapless_playback(true);
    auto device = std::make_unique<PacedWavDevice>((dir / "played.wav").string(), kSpeed);
    paced = device.get();
    make_program(std::move(device));
    null = &paced->null();
  }
  void TearDown() override {
    ProgramTest::TearDown();
    TForm2::set_gapless_playback(true);
  }

  // The three parts as tracks 1 to 3 (t1.mp3 ...), then `more` (other files), with Auto Play on.
  void open_album(bool store = false, const std::vector<fs::path>& more = {}) {
    Tdb& db = program->data_module;
    create_library(db, {dir.path(), "Lib"});
    open_library_tables();
    std::vector<fs::path> sources{part(0), part(1), part(2)};
    sources.insert(sources.end(), more.begin(), more.end());
    for (size_t k = 0; k < sources.size(); ++k) {
      const fs::path file = dir / ("t" + std::to_string(k + 1) + ".mp3");
      fs::copy_file(sources[k], file);
      const ImportOutcome outcome = import_track(db.Table1, file, store);
      ASSERT_TRUE(outcome.added()) << outcome.skipped;
    }
    show_library();
    tick(window().DBCheckBox2, true);
  }
  Player& player() { return control().player(); }
  // Plays the album until the decoder has gone on into track 2 while track 1 is still heard, and holds the
  // device there.
  bool play_into_the_overlap() {
    window().Play->click();
    if (!test::settles([&] { return player().streams_followed() == 1; })) return false;
    null->set_speed(0);
    // Whatever the decoder's news asked of the window is done: the device has not moved.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    return player().heard_stream() == 0;
  }
  bool ended() { return state() == Stopped && !run_open(); }
  bool run_open() { return player().run_open(); }
  std::string total() { return window().Label18->text().toStdString(); }
  std::vector<fs::path> following_files() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(control().temporary_file().parent_path()))
      if (entry.path().filename().string().starts_with("$$$$$$$$-")) files.push_back(entry.path());
    return files;
  }

  static inline std::vector<int16_t> sine_;
  static inline std::vector<size_t> cuts_;
  static inline bool album_made_ = false;
  PacedWavDevice* paced = nullptr;
};

TEST_F(SeamlessPlayTest, ASineCutInThreePlaysAsOneOnADeviceOpenedOnce) {
  open_album();
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return record() == 3 && ended(); }));
  EXPECT_EQ(paced->opens, 1) << "the device was reopened between the tracks";
  EXPECT_TRUE(errors.empty());

  const std::vector<int16_t> heard = first_channel(dir / "played.wav");
  ASSERT_EQ(heard.size(), sine_.size()) << "every sample of the three files, and not one more";
  const double own = 2 * kAmplitude * std::sin(M_PI * kHz / kRate);
  for (size_t join : {cuts_[1], cuts_[2]}) {
    double largest = 0;
    for (size_t i = join - 200; i < join + 200; ++i)
      largest = std::max(largest, std::abs(double(heard[i + 1]) - heard[i]));
    // A gap or a click steps by thousands; the coding of the cut edges adds a little.
    EXPECT_LE(largest, own * 1.2) << "a step at the join at " << join;
  }
  const test::Comparison c = test::compare_aligned(test::as_steps(heard), sine_, 1, 100);
  EXPECT_EQ(c.offset, 0);
  EXPECT_LT(c.max_difference, kAmplitude / 20);
}

// Each track at the gain the library keeps for it, switched exactly at the join, and the window's volume on
// top: one measured, one without any (the fixed gain), one as its tags gave it.
TEST_F(SeamlessPlayTest, EachTrackPlaysAtItsOwnGainAndTheVolume) {
  open_album();
  Table& tracks = program->data_module.Table1;
  write_gains(tracks, track_source(tracks, 1).id, {ReplayGain{-6.0, 0.37, std::nullopt, std::nullopt}, -12.0,
                                                    GainSource::Scan});
  write_gains(tracks, track_source(tracks, 3).id,
              {ReplayGain{3.0, 0.37, std::nullopt, std::nullopt}, std::nullopt, GainSource::Tag});
  // The gain lame's header gave track 2 at import, taken away.
  write_gains(tracks, track_source(tracks, 2).id, {ReplayGain{}, std::nullopt, GainSource::Tag});
  ReplayGainOptions::keep({ReplayGainMode::Track, 0.0, true, -2.0, 1.0});
  window().volumeSlider->setValue(80);
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return record() == 3 && ended(); }));
  ReplayGainOptions::keep({});
  window().volumeSlider->setValue(100);
  EXPECT_EQ(paced->opens, 1);

  const std::vector<int16_t> heard = first_channel(dir / "played.wav");
  ASSERT_EQ(heard.size(), sine_.size());
  const double volume_db = 20 * std::log10(volume_factor(0.8));
  const double expected[] = {-6.0 + volume_db, -2.0 + volume_db, 3.0 + volume_db};
  const auto rms_db = [](const int16_t* from, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += double(from[i]) * from[i];
    return 10 * std::log10(sum / double(count));
  };
  for (int k = 0; k < 3; ++k) {
    // Within each track, clear of the joins' few coded samples.
    const size_t from = cuts_[k] + 2000, count = cuts_[k + 1] - cuts_[k] - 4000;
    EXPECT_NEAR(rms_db(heard.data() + from, count) - rms_db(sine_.data() + from, count), expected[k], 0.1)
        << "track " << k + 1;
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(SeamlessPlayTest, AnotherSamplingRateOrTheOptionOffReopensTheDevice) {
  open_album(false, {short_track(2)});  // track 4 at 48 kHz
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return record() == 4 && ended(); }));
  EXPECT_EQ(paced->opens, 2);

  // "Gapless playback" off, as the Options keep it: every track has a run of its own, as it had.
  TForm2::set_gapless_playback(false);
  program->playlist.ResetClick();
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return record() == 4 && ended(); }));
  EXPECT_EQ(paced->opens, 2 + 4);
  EXPECT_TRUE(errors.empty());
}

TEST_F(SeamlessPlayTest, TheDisplaysChangeWhenTheNextTrackIsHeard) {
  open_album();
  for (int r = 1; r <= 3; ++r) {
    ASSERT_TRUE(program->playlist.go_to_track(r));
    tracks().edit();
    tracks().field_by_name("TRACKTOTAL").set_integer(r * 61000);  // the rows' lengths, not the heard ones
    tracks().post();
  }
  ASSERT_TRUE(program->playlist.go_to_track(1));
  ASSERT_TRUE(test::settles([&] { return total() == "0:01:01"; }));

  ASSERT_TRUE(play_into_the_overlap());
  // Track 2 is decoded; track 1 is heard and shown, with the length heard from its encoder's figures.
  EXPECT_EQ(record(), 1);
  EXPECT_EQ(program->transport.run_record(), 1);
  EXPECT_EQ(total(), "0:00:02");
  EXPECT_EQ(window().RzTrackBar1->maximum(), static_cast<int>((cuts_[1] + 1151) / 1152));
  EXPECT_TRUE(window().windowTitle().startsWith("t1 ")) << window().windowTitle().toStdString();

  null->set_speed(kSpeed);
  ASSERT_TRUE(test::settles([&] { return player().heard_stream() == 1; }));
  ASSERT_TRUE(test::settles([&] { return record() == 2; }));
  EXPECT_EQ(program->playlist.playlist().cursor(), 1);
  EXPECT_EQ(total(), "0:00:02");
  EXPECT_EQ(window().RzTrackBar1->maximum(), static_cast<int>((cuts_[2] - cuts_[1] + 1151) / 1152));
  EXPECT_LT(player().heard_frame(), 40) << "the position counts from the start of track 2";
  ASSERT_TRUE(test::settles([&] { return window().windowTitle().startsWith("t2 "); }));

  ASSERT_TRUE(test::settles([&] { return record() == 3 && ended(); }));
  EXPECT_EQ(paced->opens, 1);
  EXPECT_TRUE(test::settles([&] { return total() == "0:03:03"; })) << "stopped, the row's length again";
}

TEST_F(SeamlessPlayTest, PauseAndASeekWhileTheNextTrackIsOnItsWay) {
  open_album();
  ASSERT_TRUE(play_into_the_overlap());
  window().Pause->click();
  EXPECT_EQ(state(), Paused);
  null->set_speed(kSpeed);
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(player().heard_stream(), 0u) << "heard on behind the pause";
  EXPECT_EQ(record(), 1);

  // A seek moves in the track heard, as on one track: the decoder leaves track 2 and comes back to it later.
  ASSERT_TRUE(program->transport.seek(20));
  EXPECT_EQ(state(), Paused);
  EXPECT_EQ(player().streams_followed(), 0u);
  EXPECT_EQ(program->transport.run_record(), 1);
  EXPECT_EQ(player().heard_frame(), 20);
  EXPECT_EQ(record(), 1);
  window().Play->click();
  EXPECT_EQ(state(), Playing);
  ASSERT_TRUE(test::settles([&] { return player().heard_frame() > 20 || record() == 2; }));
  ASSERT_TRUE(test::settles([&] { return record() == 2; }));
  ASSERT_TRUE(test::settles([&] { return record() == 3 && ended(); }));
  EXPECT_EQ(paced->opens, 2) << "opened once more for the seek, not for the tracks";
  EXPECT_TRUE(errors.empty());
}

TEST_F(SeamlessPlayTest, NextAndStopWhileTheNextTrackIsOnItsWay) {
  open_album();
  ASSERT_TRUE(play_into_the_overlap());
  // Next plays track 2 from its start, as it does from any track.
  window().Next->click();
  EXPECT_EQ(record(), 2);
  EXPECT_EQ(state(), Playing);
  EXPECT_EQ(program->transport.run_record(), 2);
  EXPECT_EQ(player().heard_stream(), 0u) << "a run of its own";
  EXPECT_EQ(player().heard_frame(), 0);

  null->set_speed(kSpeed);
  ASSERT_TRUE(test::settles([&] { return player().streams_followed() == 1; }));
  null->set_speed(0);
  ASSERT_EQ(player().heard_stream(), 0u);
  window().Stop->click();
  EXPECT_TRUE(ended());
  EXPECT_EQ(record(), 2) << "the track heard stays current";
  EXPECT_EQ(program->transport.following().chain().following(), FollowingTrack{});
  null->set_speed(kSpeed);
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(record(), 2);
  EXPECT_EQ(state(), Stopped);
}

TEST_F(SeamlessPlayTest, StoredTracksFollowFromFilesOfTheirOwn) {
  open_album(true);
  ASSERT_TRUE(play_into_the_overlap());
  // Track 2's file, taken by the decoder, and track 3's, written for when track 2 ends.
  const std::vector<fs::path> files = following_files();
  ASSERT_EQ(files.size(), 2u);
  int of_track_2 = 0;
  for (const fs::path& file : files) {
    struct stat st {};
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    if (test::read_file(file) == test::read_file(dir / "t2.mp3")) ++of_track_2;
  }
  EXPECT_EQ(of_track_2, 1);

  null->set_speed(kSpeed);
  ASSERT_TRUE(test::settles([&] { return record() == 3 && ended(); }));
  EXPECT_EQ(paced->opens, 1);
  EXPECT_EQ(first_channel(dir / "played.wav").size(), sine_.size());
  EXPECT_TRUE(following_files().empty()) << "removed once no run needs them";

  // Closing the window removes them too.
  program->playlist.ResetClick();
  ASSERT_TRUE(play_into_the_overlap());
  EXPECT_FALSE(following_files().empty());
  window().Stop->click();
  control().delete_temporary_file();
  EXPECT_TRUE(following_files().empty());
  EXPECT_FALSE(fs::exists(control().temporary_file()));
  EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace vemla
