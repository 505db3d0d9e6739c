// The data-aware controls on real tables in a temporary folder: what they show, what they write, and how they
// follow read-only and closed tables.
#include "data_controls.h"

#include <gtest/gtest.h>

#include <QTest>

#include "error_box.h"
#include "qt_print.h"
#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

class DataControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set_error_handler([this](const QString& text) { errors << text; });
    test::create_library(dir.path(), "Lib");
    test::name_table(data.Table1, dir.path(), "Lib.db");
    data.Table1.open();
    test::append_track(data.Table1, "First", "memo one");
    test::append_track(data.Table1, "Second");
    data.Table1.close();
  }
  void TearDown() override { set_error_handler(nullptr); }

  Table& tracks() { return data.Table1; }
  std::string stored(const char* column) {
    tracks().refresh();
    return tracks().field_by_name(column).as_text();
  }

  test::TempDir dir;
  Tdb data{dir.path()};
  QStringList errors;
};

// Title, memo and skip flag of the track table, as the main window has them.
struct TrackControls {
  explicit TrackControls(DataSource& tracks) {
    title.bind(tracks, "TITLE");
    memo.bind(tracks, "MEMO");
    skip.bind(tracks, "SKIP");
  }
  DBLineEdit title;
  DBMemo memo;
  DBCheckBox skip{QStringLiteral("Auto Skip")};
};

TEST_F(DataControlsTest, ShowTheCurrentRowAndNeverWriteItBack) {
  TrackControls controls(data.data);
  auto& [title, memo, skip] = controls;
  EXPECT_FALSE(title.isEnabled() || memo.isEnabled() || skip.isEnabled());  // closed: disabled and empty

  tracks().open();
  EXPECT_TRUE(title.isEnabled() && memo.isEnabled() && skip.isEnabled());
  EXPECT_EQ(title.text(), "First");
  EXPECT_EQ(memo.toPlainText(), "memo one");
  EXPECT_FALSE(skip.isChecked());
  tracks().next();
  EXPECT_EQ(title.text(), "Second");
  EXPECT_EQ(memo.toPlainText(), "");  // shown, and not taken for a change
  tracks().first();
  EXPECT_EQ(tracks().state(), TableState::Browse);

  // A value set by someone else (another control, a handler) is shown at once.
  tracks().edit();
  tracks().field_by_name("SKIP").set_boolean(true);
  tracks().field_by_name("TITLE").set_text("Renamed");
  EXPECT_TRUE(skip.isChecked());
  EXPECT_EQ(title.text(), "Renamed");
  tracks().post();

  tracks().close();
  EXPECT_FALSE(title.isEnabled() || memo.isEnabled() || skip.isEnabled());
  EXPECT_TRUE(title.text().isEmpty() && memo.toPlainText().isEmpty() && !skip.isChecked());
}

TEST_F(DataControlsTest, UserChangesWriteThroughTheDataSource) {
  tracks().open();
  TrackControls controls(data.data);
  auto& [title, memo, skip] = controls;
  DBLineEdit same_title;  // a second control on the column follows the first
  same_title.bind(data.data, "TITLE");

  title.setFocus();
  title.end(false);
  QTest::keyClicks(&title, " Light");
  EXPECT_EQ(tracks().state(), TableState::Edit);
  EXPECT_EQ(title.text(), "First Light");
  EXPECT_EQ(title.cursorPosition(), 11);  // the control's own write does not re-show the value
  EXPECT_EQ(same_title.text(), "First Light");
  skip.click();
  memo.moveCursor(QTextCursor::End);
  QTest::keyClicks(&memo, ", noted");
  EXPECT_EQ(stored("TITLE"), "First Light");
  EXPECT_EQ(stored("SKIP"), "True");
  EXPECT_EQ(stored("MEMO"), "memo one, noted");

  // The store cuts a text to its column (255 characters); the control cuts nothing itself.
  title.selectAll();
  QTest::keyClicks(&title, QString(260, QLatin1Char('x')));
  EXPECT_EQ(title.text().size(), 260);
  EXPECT_EQ(stored("TITLE"), std::string(255, 'x'));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(DataControlsTest, FollowAReadOnlyTable) {
  tracks().set_read_only(true);
  tracks().open();
  TrackControls controls(data.data);
  auto& [title, memo, skip] = controls;
  EXPECT_TRUE(title.isReadOnly() && memo.isReadOnly());
  EXPECT_EQ(title.text(), "First");  // readable and selectable all the same
  EXPECT_FALSE(skip.isEnabled());
  QTest::keyClicks(&title, "zzz");
  QTest::keyClicks(&memo, "zzz");
  EXPECT_EQ(tracks().state(), TableState::Browse);
  EXPECT_EQ(stored("TITLE"), "First");
  tracks().close();
  tracks().set_read_only(false);
  tracks().open();
  EXPECT_FALSE(title.isReadOnly() || memo.isReadOnly());
  EXPECT_TRUE(skip.isEnabled());
}

TEST_F(DataControlsTest, AnEmptyTrackTableTakesNoTyping) {
  tracks().open();
  for (int i = 0; i < 2; ++i) tracks().delete_record();
  TrackControls controls(data.data);
  auto& [title, memo, skip] = controls;
  EXPECT_TRUE(title.isReadOnly() && memo.isReadOnly());
  EXPECT_FALSE(skip.isEnabled());
  QTest::keyClicks(&title, "phantom");
  QTest::keyClicks(&memo, "phantom");
  tracks().refresh();
  EXPECT_EQ(tracks().record_count(), 0) << "tracks are added, never typed in";
  EXPECT_THROW(data.data.write_text("TITLE", "phantom"), TableError);
  EXPECT_TRUE(errors.isEmpty());

  test::append_track(tracks(), "Added");  // the controls follow the first track
  EXPECT_FALSE(title.isReadOnly() || memo.isReadOnly());
  EXPECT_TRUE(skip.isEnabled());
  EXPECT_EQ(title.text(), "Added");
}

TEST_F(DataControlsTest, RadioGroupChoosesTheStoredValue) {
  data.Table2.open();  // the settings table with its defaults: PRIORITY 3, STORAGE false
  DBRadioGroup priority(QStringLiteral("Priority"),
                        {QStringLiteral("Lowest"), QStringLiteral("Lower"), QStringLiteral("Normal"),
                         QStringLiteral("Higher"), QStringLiteral("Highest"), QStringLiteral("Time Critical")},
                        {"1", "2", "3", "4", "5", "6"});
  DBRadioGroup storage(QStringLiteral("Storage"), {QStringLiteral("Store in &Base"), QStringLiteral("&Keep on Disk")},
                       {"True", "False"});
  priority.bind(data.reg, "PRIORITY");
  storage.bind(data.reg, "STORAGE");
  EXPECT_EQ(priority.item_index(), 2);
  EXPECT_EQ(storage.item_index(), 1);
  priority.button(5)->click();
  storage.button(0)->click();
  data.Table2.refresh();
  EXPECT_EQ(data.Table2.field_by_name("PRIORITY").as_integer(), 6);
  EXPECT_TRUE(data.Table2.field_by_name("STORAGE").as_boolean());

  // A value that is no item's checks none; the captions stand for themselves without values.
  data.Table2.edit();
  data.Table2.field_by_name("PRIORITY").set_integer(9);
  EXPECT_EQ(priority.item_index(), -1);
  DBRadioGroup captions(QStringLiteral("Mode"), {QStringLiteral("&True"), QStringLiteral("False")});
  captions.bind(data.reg, "STORAGE");
  EXPECT_EQ(captions.item_index(), 0);
  data.Table2.close();
  EXPECT_FALSE(priority.isEnabled());
  EXPECT_EQ(storage.item_index(), -1);
}

TEST_F(DataControlsTest, AWriteErrorIsShownAndTheStoredValueComesBack) {
  data.Table2.open();
  DBRadioGroup priority(QStringLiteral("Priority"), {QStringLiteral("Normal"), QStringLiteral("Broken")},
                        {"3", "not a number"});
  priority.bind(data.reg, "PRIORITY");
  priority.button(1)->click();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QStringLiteral("not a valid integer"))) << errors[0].toStdString();
  EXPECT_EQ(priority.item_index(), 0);

  DBLineEdit nowhere;  // a column the table lacks: nothing to show or edit
  nowhere.bind(data.reg, "NO_SUCH_COLUMN");
  EXPECT_FALSE(nowhere.isEnabled());
}

}  // namespace
}  // namespace vemla
