// "Track > Analyse Loudness" on a whole program: the current track's album or every track measured as library
// work, the other track commands waiting meanwhile, the results kept, unreadable tracks named, and Cancel.
#include "loudness_commands.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QStatusBar>
#include <QToolButton>

#include "library_work.h"
#include "program_fixture.h"
#include "store_support.h"
#include "track_files.h"
#include "track_gains.h"
#include "track_import.h"
#include "track_ops.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

class LoudnessCommandsTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    if (test::layer3_file().empty()) GTEST_SKIP() << "lame is missing";
    fs::create_directories(dir / "lib");
    test::create_library(dir / "lib", "Lib");
    ASSERT_TRUE(program.library.open_library_file(qpath(dir / "lib" / "Lib.mb")));
    // Two tracks of one album, one of another folder's album of the same name.
    for (const char* name : {"one/a.mp3", "one/b.mp3", "two/c.mp3"}) {
      const fs::path file = dir / "music" / name;
      fs::create_directories(file.parent_path());
      test::copy_track(test::layer3_file(), file);
      test::append_id3v1(file, name, "Artist", "Album", "", "");
      ASSERT_TRUE(import_track(db.Table1, file, false).added());
    }
  }
  bool measured(int record) {
    go_to_record(db.Table1, record);
    const std::optional<TrackGains> gains = read_gains(db.Table1);
    return gains && gains->source == GainSource::Scan;
  }
  bool work_ended() {
    return settle([&] { return !program.work.running(); });
  }

  LoudnessCommands& loudness = program.loudness;
  TForm1& form = program.form1;
  Tdb& db = program.data_module;
};

TEST_F(LoudnessCommandsTest, CurrentTrackMeasuresItsAlbumAsWork) {
  go_to_record(db.Table1, 2);
  EXPECT_TRUE(form.LoudnessTrack1->isEnabled() && form.LoudnessAll1->isEnabled());
  loudness.LoudnessTrack1Click();
  ASSERT_TRUE(program.work.running());
  EXPECT_FALSE(form.LoudnessTrack1->isEnabled() || form.fix1->isEnabled() || form.Delete2->isEnabled());
  EXPECT_FALSE(program.work.cancel_button()->isHidden());
  ASSERT_TRUE(work_ended());
  EXPECT_TRUE(form.LoudnessAll1->isEnabled() && form.fix1->isEnabled());
  EXPECT_EQ(db.Table1.record_number(), 2);  // the user's track again
  EXPECT_EQ(form.RzStatusBar1->currentMessage(), "The loudness of 2 tracks measured");
  EXPECT_TRUE(measured(1) && measured(2));
  EXPECT_FALSE(measured(3));
  EXPECT_TRUE(messages.texts.isEmpty() && errors.isEmpty());
}

TEST_F(LoudnessCommandsTest, AllTracksNamesTheUnreadableAndCancelKeepsWhatIsDone) {
  fs::remove(dir / "music/two/c.mp3");
  loudness.LoudnessAll1Click();
  ASSERT_TRUE(work_ended());
  EXPECT_EQ(form.RzStatusBar1->currentMessage(), "The loudness of 2 tracks measured, 1 not measured");
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].contains(qpath(dir / "music/two/c.mp3"))) << messages.texts[0].toStdString();

  // Cancelled before its first step, a scan keeps nothing new.
  test::copy_track(test::layer3_file(), dir / "music/two/c.mp3");
  loudness.LoudnessAll1Click();
  program.work.cancel();
  ASSERT_TRUE(work_ended());
  EXPECT_TRUE(form.RzStatusBar1->currentMessage().startsWith("Analysing cancelled"));
  EXPECT_FALSE(measured(3));
  EXPECT_TRUE(errors.isEmpty());
}

}  // namespace
}  // namespace vemla
