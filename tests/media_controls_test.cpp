// The desktop's media controls on a whole program: what they show of the player and the current track, and
// that they follow the track table without being asked.
#include "media_controls.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "data.h"
#include "desktop_library.h"
#include "null_device.h"
#include "program.h"
#include "support.h"

namespace vemla {
namespace {

class MediaControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { program.data_module.Table2.open(); }
  // The library of three tracks, open in the program; false when lame is missing.
  bool open_library() {
    library = test::make_tagged_library(program.data_module, folder.path(), test::three_tracks(), 1.0);
    return !library.empty();
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

TEST_F(MediaControlsTest, WhatCanBeDoneFollowsTheTable) {
  if (!open_library()) GTEST_SKIP() << "lame is needed to make the tracks";
  Table& tracks = program.data_module.Table1;
  MediaState state = controls.state();
  EXPECT_TRUE(state.can_play && state.can_pause && state.can_go_next);
  EXPECT_FALSE(state.can_go_previous);  // at the first track
  EXPECT_FALSE(state.can_seek);         // nothing plays
  tracks.next();
  tracks.next();
  tracks.next();  // past the last
  state = controls.state();
  EXPECT_FALSE(state.can_go_next);
  EXPECT_TRUE(state.can_go_previous);
}

TEST_F(MediaControlsTest, ChangesOfTheTableAreToldOnce) {
  QSignalSpy changed(&controls, &MediaControls::changed);
  if (!open_library()) GTEST_SKIP() << "lame is needed to make the tracks";
  ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 20000));
  changed.clear();
  // Several changes in one turn of the event loop are told together.
  program.data_module.Table1.next();
  program.data_module.Table1.next();
  ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 20000));
  QCoreApplication::processEvents();
  EXPECT_EQ(changed.count(), 1);
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

}  // namespace
}  // namespace vemla
