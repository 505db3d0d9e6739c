// Player control in the whole program: a library walked through Reset, a filter, Next with Auto Play and Auto
// Skip, and the end of the list with and without Nonstop Play; stored tracks and their temporary file; pause,
// seeks and stop with the displays; a device that cannot be opened; "Repeat Track" and a file without a header.
#include "player_control.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <deque>

#include "eliding_label.h"
#include "program_library.h"
#include "qt_print.h"
#include "recording_device.h"
#include "store_support.h"
#include "track_facts.h"
#include "following_tracks.h"
#include "transport.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using test::TestTrack;

class PlayerControlTest : public test::ProgramTest {
 protected:
  std::string label() { return window().RzLabel1->text().toStdString(); }
  bool run_open() { return control().player().run_open(); }
  // Stops whatever plays, also between two steps of the list, and tells whether all is quiet.
  bool stopped() {
    control().StopClick();
    return state() == Stopped && !run_open();
  }
};

TEST_F(PlayerControlTest, AListWalkedWithAutoPlaySkipAndNonstop) {
  const CategoryMask first = 1;  // category 1
  open_library({{first}, {2}, {first}, {0, true}, {first}});
  EXPECT_EQ(label(), "01 02 03 04 05 ");
  EXPECT_EQ(record(), 1);
  EXPECT_EQ(window().RzStatusPane2->text(), "Found");
  control().PriorClick();  // at the beginning of the table
  EXPECT_EQ(record(), 1);
  EXPECT_EQ(state(), Stopped);

  // Category 1 only, with Auto Play and without Nonstop Play: 1, 3 and 5 play, then the player stops.
  window().ComboBox1->setCurrentIndex(1);
  program->playlist.ResetClick();
  EXPECT_EQ(label(), "01 03 05 ");
  tick(window().DBCheckBox2, true);
  window().Play->click();
  EXPECT_EQ(state(), Playing);
  EXPECT_TRUE(window().Play->isChecked());
  ASSERT_TRUE(test::settles([&] { return played().size() == 3 && state() == Stopped && !run_open(); }));
  EXPECT_EQ(played(), (std::vector<int>{1, 3, 5}));
  ASSERT_TRUE(test::settles([&] { return pane() == std::string("stopped"); }));
  EXPECT_TRUE(window().Stop->isChecked());

  // Every track with Nonstop Play: track 4 is skipped and the list starts again after track 5.
  window().ComboBox1->setCurrentIndex(0);
  program->playlist.ResetClick();
  tick(window().DBCheckBox3, true);
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return played().size() >= 9; }));
  ASSERT_TRUE(test::settles([&] { return stopped(); }));
  const std::vector<int> all = played();
  EXPECT_EQ(std::vector<int>(all.begin(), all.begin() + 9), (std::vector<int>{1, 3, 5, 1, 2, 3, 5, 1, 2}));

  // Without Auto Play the end of a track stops the player on it; Play plays it again.
  tick(window().DBCheckBox2, false);
  tick(window().DBCheckBox3, false);
  program->playlist.ResetClick();
  const size_t before = played().size();
  window().Next->click();
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return played().size() == before + 1 && !run_open(); }));
  EXPECT_EQ(played().back(), 2);
  EXPECT_EQ(record(), 2);
  ASSERT_TRUE(test::settles([&] { return pane() == "stopped" && window().Stop->isChecked(); }));
  EXPECT_EQ(control().idle_interval(), -1);
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return played().size() == before + 2 && !run_open(); }));
  EXPECT_EQ(played().back(), 2);

  // A skipped last entry ends the list: Next from track 3 finds nothing to play, and says so.
  tick(window().DBCheckBox2, true);
  ASSERT_TRUE(program->playlist.go_to_track(5));
  window().DBCheckBox1->click();  // Auto Skip on track 5
  program->playlist.playlist().set_cursor(2);
  ASSERT_TRUE(program->playlist.go_to_track(3));
  const size_t runs = played().size();
  control().NextClick();
  EXPECT_EQ(record(), 3);
  EXPECT_EQ(window().RzStatusBar1->currentMessage(), "End of the playlist");
  ASSERT_TRUE(test::settles([&] { return state() == Stopped && pane() == "stopped"; }));
  EXPECT_EQ(played().size(), runs);
  EXPECT_TRUE(errors.empty()) << errors.front();
}

// Nonstop Play over a list in which every entry is skipped: the list is tried once more, then the player
// stops and says why, instead of starting the empty list again for ever.
TEST_F(PlayerControlTest, NonstopOverAnAllSkippedListStops) {
  open_library({{0, true}, {0, true}});
  tick(window().DBCheckBox2, true);
  tick(window().DBCheckBox3, true);
  QSignalSpy states(&program->transport, &Transport::state_changed);
  window().Play->click();  // Play itself plays a skipped track
  ASSERT_TRUE(test::settles([&] { return played().size() == 1 && state() == Stopped && !run_open(); }));
  ASSERT_TRUE(test::settles([&] { return pane() == "stopped" && window().Stop->isChecked(); }));
  EXPECT_EQ(control().idle_interval(), -1) << "the display timer rests";
  EXPECT_TRUE(window().RzStatusBar1->currentMessage().startsWith("Nonstop Play stopped"));
  // A while for a run that should not start: nothing to wait for, as the check is that nothing happens.
  QTest::qWait(50);
  EXPECT_EQ(played(), std::vector<int>{1});
  EXPECT_LT(states.size(), 12) << "a bounded number of changes told to the media controls";

  // With one track playable again the list plays on as before.
  ASSERT_TRUE(program->playlist.go_to_track(2));
  window().DBCheckBox1->click();  // Auto Skip off on track 2
  program->playlist.playlist().set_cursor(0);
  ASSERT_TRUE(program->playlist.go_to_track(1));
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return played().size() >= 4; }));
  const std::vector<int> runs = played();
  EXPECT_EQ(std::vector<int>(runs.begin(), runs.begin() + 4), (std::vector<int>{1, 1, 2, 2}));
  ASSERT_TRUE(test::settles([&] { return stopped(); }));
}

// The bar's length is an estimate: a seek past the last frame while paused ends the track, and the next one
// starts only once Play is pressed, not behind the pause.
TEST_F(PlayerControlTest, AnEndSoughtWhilePausedWaitsForPlay) {
  open_library({{}, {}});
  tick(window().DBCheckBox2, true);
  null->set_speed(0.5);
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return control().player().reported_frame() > 2; }));
  window().Pause->click();
  QSlider* bar = window().RzTrackBar1;
  bar->setMaximum(bar->maximum() + 1000);
  control().RzTrackBar1MouseDown();
  bar->setValue(bar->maximum());
  control().RzTrackBar1MouseUp();
  ASSERT_TRUE(test::settles([&] { return control().player().done() || state() != Paused; }));
  // A while for the next track that should not start behind the pause: the check is that nothing happens.
  QTest::qWait(100);
  EXPECT_EQ(state(), Paused);
  EXPECT_EQ(pane(), "paused");
  EXPECT_EQ(played(), std::vector<int>{1}) << "the next track started behind the pause";

  null->set_speed(500);
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return played().size() == 2; }));
  EXPECT_EQ(played().back(), 2);
  ASSERT_TRUE(test::settles([&] { return stopped(); }));
}

// The bar held while its track ends and Auto Play starts the next: letting go does not move the new track.
TEST_F(PlayerControlTest, ADragOutlivingItsTrackSeeksNothing) {
  open_library({{}, {}});
  tick(window().DBCheckBox2, true);
  QSignalSpy seeks(&program->transport, &Transport::seeked);
  null->set_speed(0.5);
  window().Play->click();
  control().RzTrackBar1MouseDown();
  null->set_speed(500);
  ASSERT_TRUE(test::settles([&] { return played().size() == 2; }));
  null->set_speed(0.5);
  window().RzTrackBar1->setValue(window().RzTrackBar1->maximum() - 1);
  control().RzTrackBar1MouseUp();
  EXPECT_EQ(seeks.size(), 0) << "the second track was moved by a drag on the first";
  ASSERT_TRUE(test::settles([&] { return stopped(); }));
}

TEST_F(PlayerControlTest, ClosingTheLibraryClearsTheTimes) {
  open_library({{}});
  null->set_speed(1);
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return window().Label18->text() != "0:00:00"; }));
  window().Stop->click();
  close_library(program->data_module);
  EXPECT_EQ(window().Label17->text(), "0:00:00");
  EXPECT_EQ(window().Label18->text(), "0:00:00");
  EXPECT_EQ(window().RzTrackBar1->value(), 0);
}

// Play on a new, empty library did nothing and said nothing; it says what to do.
TEST_F(PlayerControlTest, PlayOnAnEmptyLibrarySaysToAddTracks) {
  open_library({});
  window().Play->click();
  EXPECT_EQ(state(), Stopped);
  EXPECT_TRUE(window().RzStatusBar1->currentMessage().contains("Track > Add"))
      << window().RzStatusBar1->currentMessage().toStdString();
}

TEST_F(PlayerControlTest, StoredTracksPlayFromAPrivateTemporaryFile) {
  open_library({{0, false, true}, {0, false, true}, {}});
  Table& settings = program->data_module.Table2;
  const fs::path temporary = control().temporary_file();
  ASSERT_FALSE(temporary.empty());
  EXPECT_EQ(temporary.parent_path(), fs::path(std::getenv("XDG_RUNTIME_DIR")));
  EXPECT_EQ(temporary.filename(), "$$$$$$$$.mp3");

  // The settings follow the track; the file holds its audio, for this user only.
  control().PlayClick();
  EXPECT_EQ(state(), Playing);
  EXPECT_TRUE(setting(settings, SettingsTable::storage));
  struct stat st {};
  ASSERT_EQ(::lstat(temporary.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(test::read_file(temporary), test::read_file(dir / "t1.mp3"));
  ASSERT_TRUE(test::settles([&] { return played().size() == size_t{1}; }));

  // Played again, it is written again; a link planted under its name is replaced, not followed.
  control().StopClick();
  test::write_text(temporary, "not a track");
  control().PlayClick();
  EXPECT_EQ(test::read_file(temporary), test::read_file(dir / "t1.mp3"));
  ASSERT_TRUE(test::settles([&] { return played().size() == size_t{2}; }));
  control().StopClick();
  test::write_text(dir / "victim", "precious");
  fs::remove(temporary);
  fs::create_symlink(dir / "victim", temporary);
  control().PlayClick();
  EXPECT_EQ(test::file_text(dir / "victim"), "precious");
  EXPECT_FALSE(fs::is_symlink(temporary));
  EXPECT_EQ(test::read_file(temporary), test::read_file(dir / "t1.mp3"));
  ASSERT_TRUE(test::settles([&] { return played().size() == size_t{3}; }));

  // A track kept on disk switches the settings back and plays from its path.
  control().StopClick();
  ASSERT_TRUE(program->playlist.go_to_track(3));
  control().PlayClick();
  EXPECT_FALSE(setting(settings, SettingsTable::storage));
  EXPECT_EQ(state(), Playing);
  ASSERT_TRUE(test::settles([&] { return played().size() == size_t{4}; }));
  EXPECT_EQ(played().back(), 3);

  // Its file gone, or a pipe in its place, Play says so and why, and the player stays stopped.
  control().StopClick();
  fs::remove(dir / "t3.mp3");
  control().PlayClick();
  EXPECT_EQ(state(), Stopped);
  EXPECT_FALSE(run_open());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Track 3 cannot be played: its file " + (dir / "t3.mp3").string() + " is missing."),
            std::string::npos)
      << errors[0];
  ASSERT_EQ(::mkfifo((dir / "t3.mp3").c_str(), 0600), 0);
  control().PlayClick();
  EXPECT_EQ(state(), Stopped);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[1].find("is not a regular file"), std::string::npos) << errors[1];
  EXPECT_NE(window().Label1->text(), "Error: No header found");
  errors.clear();

  // A temporary file that cannot be written is reported, and the player stays stopped.
  ASSERT_TRUE(program->playlist.go_to_track(2));
  fs::remove(temporary);
  fs::create_directory(temporary);
  test::write_text(temporary / "inside", "x");
  control().PlayClick();
  EXPECT_EQ(state(), Stopped);
  EXPECT_FALSE(run_open());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(temporary.string()), std::string::npos) << errors[0];
  fs::remove_all(temporary);
  control().PlayClick();
  EXPECT_EQ(state(), Playing);
  ASSERT_TRUE(test::settles([&] { return played().size() == size_t{5}; }));
  control().StopClick();
  control().delete_temporary_file();
  EXPECT_FALSE(fs::exists(temporary));
}

TEST_F(PlayerControlTest, PauseSeekAndStopFollowWhatIsHeard) {
  open_library({{}}, long_track());
  window().show();
  QSlider* bar = window().RzTrackBar1;
  QSignalSpy states(&program->transport, &Transport::state_changed);
  QSignalSpy seeks(&program->transport, &Transport::seeked);
  const int frames = tracks().field_by_name("FRAMETOTAL").as_integer();
  tracks().edit();
  tracks().field_by_name("TRACKTOTAL").set_integer(3725 * 1000);  // shown as stored
  tracks().post();
  null->set_speed(4);

  // Pause and Stop change nothing while stopped; nothing runs the idle rules then.
  window().Pause->click();
  window().Stop->click();
  EXPECT_EQ(state(), Stopped);
  ASSERT_TRUE(test::settles([&] { return window().Stop->isChecked() && control().idle_interval() == -1; }));

  window().Play->click();
  EXPECT_EQ(state(), Playing);
  EXPECT_EQ(window().Label18->text(), "1:02:05");
  EXPECT_EQ(bar->maximum(), frames);
  ASSERT_TRUE(test::settles([&] { return control().idle_interval() == 50; }));
  ASSERT_TRUE(test::settles([&] { return window().Label17->text() != "0:00:00" && bar->value() > 0; }));
  EXPECT_GT(control().position_us(), 0);
  window().Play->click();  // Play while playing changes nothing
  EXPECT_EQ(state(), Playing);
  EXPECT_EQ(played().size(), 1u);

  // A seek while paused keeps the device silent until Play.
  window().Pause->click();
  EXPECT_EQ(state(), Paused);
  EXPECT_TRUE(null->paused());
  const float frame_ms = control().player().frame_duration();
  control().RzTrackBar1MouseDown();
  bar->setValue(400);
  control().RzTrackBar1MouseUp();
  EXPECT_EQ(state(), Paused);
  ASSERT_EQ(seeks.size(), 1);
  EXPECT_NEAR(seeks[0][0].toLongLong(), 400 * frame_ms * 1000, 1000);
  const QString at_seek = QString::fromStdString(time_text(static_cast<int>(400 * frame_ms / 1000)));
  ASSERT_TRUE(test::settles([&] { return window().Label17->text() == at_seek; }));
  EXPECT_TRUE(null->paused());
  EXPECT_NEAR(control().position_us(), 400 * frame_ms * 1000, 1000);

  window().Pause->click();  // Pause again resumes
  EXPECT_EQ(state(), Playing);
  EXPECT_FALSE(null->paused());
  ASSERT_TRUE(test::settles([&] { return control().position_us() > 401 * frame_ms * 1000; }));

  // Keys move the bar and seek once they are let go.
  bar->setFocus();
  QTest::keyClick(bar, Qt::Key_Home);
  ASSERT_TRUE(test::settles([&] { return seeks.size() == 2; }));
  EXPECT_EQ(seeks[1][0].toLongLong(), 0);
  EXPECT_LT(control().position_us(), 400 * frame_ms * 1000);

  // Media controls seek in microseconds.
  control().seek_to_us(static_cast<int64_t>(300 * frame_ms * 1000));
  EXPECT_EQ(bar->value(), 300);
  ASSERT_EQ(seeks.size(), 3);

  window().Stop->click();
  EXPECT_EQ(state(), Stopped);
  EXPECT_FALSE(run_open());
  EXPECT_EQ(control().position_us(), 0);
  ASSERT_TRUE(test::settles([&] { return control().idle_interval() == -1; }));
  // The bar moved while stopped goes back to 0.
  control().RzTrackBar1MouseDown();
  bar->setValue(100);
  control().RzTrackBar1MouseUp();
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(seeks.size(), 3);

  ASSERT_TRUE(test::settles([&] { return states.size() == 4; }));
  const PlayerState told[] = {Playing, Paused, Playing, Stopped};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(states[i][0].value<PlayerState>(), told[i]) << i;
}

TEST_F(PlayerControlTest, ADeviceThatCannotBeOpenedIsReported) {
  auto refusing = std::make_unique<test::RecordingDevice>();
  refusing->fail_open = true;
  make_program(std::move(refusing));
  open_library({{}});
  answer_message_boxes();
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return boxes.size() == 1 && state() == Stopped && !run_open(); }));
  EXPECT_NE(boxes[0].find("Could not open the sound device."), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("refused by the test"), std::string::npos) << "the box says why: " << boxes[0];
  ASSERT_TRUE(test::settles([&] { return window().Stop->isChecked() && pane() == "stopped"; }));
}

TEST_F(PlayerControlTest, RepeatTrackAndAFileWithoutAHeader) {
  open_library({{}, {}});
  tick(window().DBCheckBox2, true);
  window().CheckBox2->setChecked(true);  // "Repeat Track"
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return played().size() >= 3; }));
  window().CheckBox2->setChecked(false);
  ASSERT_TRUE(test::settles([&] { return state() == Stopped && !run_open(); }));
  const std::vector<int> all = played();
  EXPECT_EQ(all.back(), 2) << "the list moves on once the box is cleared";
  EXPECT_TRUE(std::all_of(all.begin(), all.end() - 1, [](int k) { return k == 1; }));

  test::write_text(dir / "t2.mp3", std::string(4096, '\0'));
  control().PlayClick();
  EXPECT_EQ(window().Label1->text(), "Error: No header found");
  EXPECT_EQ(state(), Stopped);
  EXPECT_TRUE(run_open()) << "the next Play closes it";
  control().PlayClick();
  EXPECT_EQ(state(), Stopped);
  EXPECT_EQ(played(), all);
  window().Prior->click();
  window().Play->click();
  EXPECT_EQ(state(), Playing);
  EXPECT_EQ(window().Label1->text(), "Title:") << "a track that plays puts the label back";
}

TEST_F(PlayerControlTest, ATitleThatCannotBeWrittenIsToldOnce) {
  open_library({{}, {}, {}, {}});
  open_library_tables();  // a fresh connection, with no journal of its own yet
  show_library();
  // A folder where the track table's journal goes: the edit cannot be written, whoever runs the test.
  fs::remove(dir / "Lib.db-journal");
  fs::create_directory(dir / "Lib.db-journal");
  QTest::keyClicks(window().RzDBLineEdit1, "x");
  window().Next->click();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("The change was not saved."), std::string::npos) << errors[0];
  EXPECT_EQ(record(), 1);
  EXPECT_EQ(label(), "01 02 03 04 ") << "the cursor stays with the track shown";
  window().Next->click();  // the library goes on
  EXPECT_EQ(record(), 2);
  EXPECT_EQ(errors.size(), 1u);
}


// Draws that replay a fixed sequence (each taken modulo the count).
Draw replayed(std::vector<uint32_t> draws) {
  auto queue = std::make_shared<std::deque<uint32_t>>(draws.begin(), draws.end());
  return [queue](uint32_t count) {
    if (queue->empty()) return 0u;
    const uint32_t value = queue->front() % count;
    queue->pop_front();
    return value;
  };
}

// Shuffle once left the track current before it on show, and the next Next passed over the first shuffled
// entry: the entry at the cursor is current afterwards, and Next goes on from it.
TEST_F(PlayerControlTest, ShuffleMakesTheEntryAtTheCursorCurrent) {
  open_library({{}, {}, {}, {}, {}, {}});
  program->playlist.playlist().set_cursor(2);
  ASSERT_TRUE(program->playlist.go_to_track(3));
  program->playlist.set_draw(replayed({5, 3, 4, 5}));  // 1 2 3 4 5 6 -> 1 2 6 4 5 3
  program->playlist.ShuffleClick();
  EXPECT_EQ(label(), "06 04 05 03 ");
  EXPECT_EQ(record(), 6) << "the entry at the cursor is current";
  EXPECT_EQ(window().RzStatusPane2->text(), "Found");
  EXPECT_EQ(state(), Stopped) << "nothing starts without Auto Play";
  window().Next->click();
  EXPECT_EQ(record(), 4);
  EXPECT_EQ(label(), "04 05 03 ");

  // With Auto Play the entry at the cursor plays.
  tick(window().DBCheckBox2, true);
  program->playlist.set_draw(replayed({2, 3, 4, 5}));  // 4 at the cursor stays
  program->playlist.ShuffleClick();
  EXPECT_EQ(state(), Playing);
  EXPECT_EQ(record(), program->playlist.playlist().entry(3));
  ASSERT_TRUE(test::settles([&] { return stopped(); }));
  EXPECT_TRUE(errors.empty());
}

// Next and Prior without Auto Play while a track plays once let it sound on under "stopped" and the next
// track's title; now they stop it, so that what is shown is what is heard.
TEST_F(PlayerControlTest, NextAndPriorWithoutAutoPlayStopWhatPlays) {
  open_library({{}, {}, {}});
  null->set_speed(0.2);
  window().Play->click();
  ASSERT_EQ(state(), Playing);
  ASSERT_TRUE(test::settles([&] { return played().size() == 1; }));
  window().Next->click();
  EXPECT_EQ(record(), 2);
  EXPECT_FALSE(run_open()) << "the first track still sounds";
  ASSERT_TRUE(test::settles([&] { return pane() == "stopped" && window().Stop->isChecked(); }));
  window().Play->click();
  ASSERT_EQ(state(), Playing);
  ASSERT_TRUE(test::settles([&] { return played().size() == 2; }));
  window().Pause->click();
  window().Prior->click();
  EXPECT_EQ(record(), 1);
  EXPECT_FALSE(run_open()) << "the paused track was left open";
  ASSERT_TRUE(test::settles([&] { return pane() == "stopped" && window().Stop->isChecked(); }));
  EXPECT_EQ(played(), (std::vector<int>{1, 2}));
}

// A category chosen without a Reset: Next past the last matching track once landed on a track outside it
// ("Not Found"); it keeps the current track and says why, with Auto Play too.
TEST_F(PlayerControlTest, NextPastTheLastMatchingTrackStaysThere) {
  open_library({{1}, {1}, {0}, {0}});
  window().ComboBox1->setCurrentIndex(1);  // the list still holds every track
  window().Next->click();
  EXPECT_EQ(record(), 2);
  window().Next->click();
  EXPECT_EQ(record(), 2);
  EXPECT_EQ(window().RzStatusPane2->text(), "Found");
  EXPECT_EQ(window().RzStatusBar1->currentMessage(), "End of the playlist");
  tick(window().DBCheckBox2, true);
  window().Next->click();
  EXPECT_EQ(record(), 2);
  EXPECT_EQ(window().RzStatusPane2->text(), "Found");
  EXPECT_EQ(state(), Stopped);
  EXPECT_TRUE(played().empty());
  window().Prior->click();
  EXPECT_EQ(record(), 1);
  window().Prior->click();
  EXPECT_EQ(record(), 1);
  EXPECT_EQ(window().RzStatusBar1->currentMessage(), "Start of the playlist");
  ASSERT_TRUE(test::settles([&] { return stopped(); }));
}

// The total time once read 0:00:00 after a library opened and kept the last played track's length: it is
// the current track's length.
TEST_F(PlayerControlTest, TotalTimeIsTheCurrentTracksLength) {
  open_library({{}, {}, {}});
  for (int r = 1; r <= 3; ++r) {
    ASSERT_TRUE(program->playlist.go_to_track(r));
    tracks().edit();
    tracks().field_by_name("TRACKTOTAL").set_integer(r * 61000);
    tracks().post();
  }
  show_library();
  ASSERT_TRUE(test::settles([&] { return window().Label18->text() == "0:01:01"; }));
  window().Play->click();
  ASSERT_TRUE(test::settles([&] { return played().size() == 1 && !run_open(); }));
  window().Next->click();
  ASSERT_TRUE(test::settles([&] { return window().Label18->text() == "0:02:02"; }));
  window().Next->click();
  ASSERT_TRUE(test::settles([&] { return window().Label18->text() == "0:03:03"; }));
}


// Which track follows the one playing is known to the player before its end, and changes with the options,
// the filter and the tracks' flags.
TEST_F(PlayerControlTest, ThePlayerKnowsTheFollowingTrack) {
  // Long tracks and a device that stops at once: the decoder never reaches the end of the first track, so
  // nothing is taken while the rules change (a short one could end at any step, whenever the thread got
  // there).
  open_library({{1}, {2}, {1}, {0, false, true}}, long_track());
  const auto following = [&] { return program->transport.following().chain().following(); };
  tick(window().DBCheckBox2, true);
  null->set_speed(0);
  window().Play->click();
  ASSERT_EQ(state(), Playing);
  ASSERT_TRUE(test::settles([&] { return following().record == 2; }));
  EXPECT_EQ(following().file, (dir / "t2.mp3").string());
  window().ComboBox1->setCurrentIndex(1);  // category 1: track 2 is left out
  ASSERT_TRUE(test::settles([&] { return following().record == 3; }));
  EXPECT_EQ(record(), 1) << "the table stays on the track playing";
  window().CheckBox2->setChecked(true);  // "Repeat Track"
  ASSERT_TRUE(test::settles([&] { return following().record == 1; }));
  EXPECT_EQ(following().file, (dir / "t1.mp3").string());
  window().CheckBox2->setChecked(false);
  window().ComboBox1->setCurrentIndex(0);
  program->playlist.playlist().set_cursor(2);  // as if track 3 played: a stored track follows
  program->transport.following_may_change();
  ASSERT_TRUE(test::settles([&] { return following().record == 4; }));
  // A stored track that follows gets a private temporary file of its own, beside the playing one's.
  const fs::path stored = following().file;
  EXPECT_EQ(stored.parent_path(), control().temporary_file().parent_path());
  EXPECT_NE(stored, control().temporary_file());
  struct stat st {};
  ASSERT_EQ(::lstat(stored.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(test::read_file(stored), test::read_file(dir / "t4.mp3"));
  tick(window().DBCheckBox2, false);
  ASSERT_TRUE(test::settles([&] { return following().record == 0; }));
  EXPECT_FALSE(fs::exists(stored)) << "removed once no run can need it";
  window().Stop->click();
  EXPECT_EQ(following(), FollowingTrack{});
  EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace vemla
