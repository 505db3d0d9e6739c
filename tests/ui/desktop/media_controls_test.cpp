// The desktop's media controls on a whole program: what they show of the player and the current track, and
// that they follow the track table without being asked.
#include "media_controls.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <limits>

#include "data.h"
#include "desktop_library.h"
#include "null_device.h"
#include "program.h"
#include "program_library.h"
#include "support.h"

namespace vemla {
namespace {

class MediaControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { program.data_module.Table2.open(); }
  // The library of three tracks, open in the program; false when lame is missing.
  bool open_library() {
    library = test::make_tagged_library(program.data_module, folder.path(), test::three_tracks(), 1.0);
    if (library.empty()) return false;
    program.playlist.ResetClick();
    return true;
  }

  test::TempDir folder;
  Program program{std::make_unique<NullDevice>(500)};
  int quits = 0;
  MediaControls controls{program.form1, program.data_module, program.player_control, [this] { ++quits; }};
  std::filesystem::path library;
};

TEST_F(MediaControlsTest, WithoutALibraryNothingCanBeDone) {
  const MediaState state = controls.state();
  EXPECT_EQ(state.playback_status, QStringLiteral("Stopped"));
  EXPECT_TRUE(state.track.id.isEmpty());
  EXPECT_FALSE(state.can_play || state.can_pause || state.can_go_next || state.can_go_previous || state.can_seek);
  // Nothing to act on: the commands change nothing.
  controls.play();
  controls.play_pause();
  controls.next();
  controls.previous();
  controls.seek(1000000);
  controls.set_position(QStringLiteral("/vemla/library_0/track_1"), 0);
  EXPECT_EQ(controls.state(), state);
}

TEST_F(MediaControlsTest, CurrentTrackFromTheTrackTable) {
  if (!open_library()) GTEST_SKIP() << "lame is needed to make the tracks";
  const TrackFacts first = controls.current_track();
  EXPECT_EQ(first.title, QStringLiteral("First"));
  EXPECT_EQ(first.artist, QStringLiteral("Artist 1"));
  EXPECT_EQ(first.album, QStringLiteral("Album 1"));
  EXPECT_GT(first.length_us, 900000);
  EXPECT_LT(first.length_us, 1200000);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^/vemla/library_[0-9a-f]{8}/track_1$")).match(first.id).hasMatch())
      << first.id.toStdString();

  program.data_module.Table1.next();
  const TrackFacts second = controls.current_track();
  EXPECT_EQ(second.title, QStringLiteral("Second"));
  // The same library, another record.
  EXPECT_EQ(second.id.section(QLatin1Char('/'), 0, 2), first.id.section(QLatin1Char('/'), 0, 2));
  EXPECT_TRUE(second.id.endsWith(QStringLiteral("/track_2")));
}

TEST_F(MediaControlsTest, WhatCanBeDoneFollowsThePlaylist) {
  if (!open_library()) GTEST_SKIP() << "lame is needed to make the tracks";
  MediaState state = controls.state();
  EXPECT_TRUE(state.can_play && state.can_pause && state.can_go_next);
  EXPECT_FALSE(state.can_go_previous);  // at the first entry
  EXPECT_FALSE(state.can_seek);         // nothing plays
  controls.next();
  controls.next();  // the last entry
  state = controls.state();
  EXPECT_FALSE(state.can_go_next);
  EXPECT_TRUE(state.can_go_previous);
  EXPECT_EQ(state.track.title, QStringLiteral("Third"));
}

TEST_F(MediaControlsTest, ChangesOfTheTableAreTold) {
  QSignalSpy changed(&controls, &MediaControls::changed);
  if (!open_library()) GTEST_SKIP() << "lame is needed to make the tracks";
  ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 20000));
  changed.clear();
  // Several changes in one turn of the event loop are told together: once for the table (player control may
  // add its own word on the new track).
  program.data_module.Table1.next();
  program.data_module.Table1.next();
  ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 20000));
  QCoreApplication::processEvents();
  EXPECT_LE(changed.count(), 2);
  // An edit of the title in the window.
  changed.clear();
  program.data_module.data.write_text("TITLE", "Renamed");
  ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 20000));
  EXPECT_EQ(controls.current_track().title, QStringLiteral("Renamed"));
}

TEST_F(MediaControlsTest, QuitClosesTheWindowThenTheProgram) {
  program.form1.show();
  controls.quit();
  EXPECT_EQ(quits, 0);  // after the caller has had its answer
  ASSERT_TRUE(QTest::qWaitFor([&] { return quits == 1; }, 20000));
  EXPECT_FALSE(program.form1.isVisible());
}

TEST_F(MediaControlsTest, RaiseShowsAMinimisedWindow) {
  program.form1.showMinimized();
  controls.raise();
  EXPECT_TRUE(program.form1.isVisible());
  EXPECT_FALSE(program.form1.windowState() & Qt::WindowMinimized);
}

// On the real handlers: a library of two twenty-second tracks on a silent device that plays in real time, so
// that a track is still playing while the test looks at it.
class MediaControlsPlayingTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    test::ProgramTest::SetUp();
    if (IsSkipped()) return;
    make_program(std::make_unique<test::LoggingDevice>(1));
    open_library({{}, {}}, long_track());
    controls = std::make_unique<MediaControls>(window(), program->data_module, control(), [] {});
  }
  void TearDown() override {
    controls.reset();
    test::ProgramTest::TearDown();
  }
  bool state_becomes(PlayerState wanted) {
    return test::settles([&] { return state() == wanted; });
  }
  std::unique_ptr<MediaControls> controls;
};

TEST_F(MediaControlsPlayingTest, CommandsDoWhatTheButtonsDo) {
  controls->play();
  ASSERT_TRUE(state_becomes(Playing));
  EXPECT_EQ(controls->state().playback_status, QStringLiteral("Playing"));
  controls->pause();
  ASSERT_TRUE(state_becomes(Paused));
  ASSERT_TRUE(test::settles([&] { return window().Pause->isChecked(); }));
  controls->pause();  // Pause on a paused player leaves it paused, unlike the Pause button
  EXPECT_EQ(state(), Paused);
  controls->play_pause();
  ASSERT_TRUE(state_becomes(Playing));
  controls->play_pause();
  ASSERT_TRUE(state_becomes(Paused));
  controls->play();
  ASSERT_TRUE(state_becomes(Playing));
  controls->stop();
  ASSERT_TRUE(state_becomes(Stopped));
  ASSERT_TRUE(test::settles([&] { return window().Stop->isChecked(); }));
  EXPECT_EQ(controls->state().playback_status, QStringLiteral("Stopped"));
}

TEST_F(MediaControlsPlayingTest, NextAndPreviousMoveThroughTheList) {
  controls->next();
  EXPECT_EQ(record(), 2);
  EXPECT_TRUE(controls->state().can_go_previous);
  controls->previous();
  EXPECT_EQ(record(), 1);
}

TEST_F(MediaControlsPlayingTest, SeeksWithinThePlayingTrack) {
  EXPECT_FALSE(controls->state().can_seek);
  controls->seek(5000000);  // nothing plays: nothing moves
  EXPECT_EQ(controls->position_us(), 0);
  controls->play();
  ASSERT_TRUE(state_becomes(Playing));
  EXPECT_TRUE(controls->state().can_seek);

  controls->seek(8000000);
  ASSERT_TRUE(test::settles([&] { return controls->position_us() >= 8000000; }));
  controls->seek(-100000000);  // before the start: to the start
  ASSERT_TRUE(test::settles([&] { return controls->position_us() < 4000000; }));

  const QString id = controls->current_track().id;
  controls->set_position(id.left(id.size() - 1) + QLatin1Char('2'), 12000000);  // another track: ignored
  controls->set_position(id, -1);                                                 // outside: ignored
  controls->set_position(id, 60000000);
  EXPECT_LT(controls->position_us(), 8000000);
  controls->set_position(id, 12000000);
  ASSERT_TRUE(test::settles([&] { return controls->position_us() >= 12000000; }));
  EXPECT_EQ(state(), Playing);

  // Past the end goes on as Next does (without Auto Play: the next track is chosen, not started).
  controls->seek(60000000);
  ASSERT_TRUE(test::settles([&] { return record() == 2; }));
  EXPECT_EQ(controls->current_track().id.right(7), QStringLiteral("track_2"));
}

// Seek takes any offset a client sends: the largest ones saturate instead of wrapping round.
TEST_F(MediaControlsPlayingTest, SeekByTheLargestOffsetsSaturates) {
  controls->play();
  ASSERT_TRUE(state_becomes(Playing));
  controls->seek(8000000);
  ASSERT_TRUE(test::settles([&] { return controls->position_us() >= 8000000; }));
  controls->seek(std::numeric_limits<qint64>::min());  // to the start
  ASSERT_TRUE(test::settles([&] { return controls->position_us() < 4000000; }));
  EXPECT_EQ(record(), 1);
  controls->seek(8000000);
  ASSERT_TRUE(test::settles([&] { return controls->position_us() >= 8000000; }));
  controls->seek(std::numeric_limits<qint64>::max());  // past the end: on as Next goes
  ASSERT_TRUE(test::settles([&] { return record() == 2; }));
}

}  // namespace
}  // namespace vemla
