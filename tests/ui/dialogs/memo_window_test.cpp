// The "Memo" window: modeless, showing the memo of the current track as the track changes, the tab key typed
// into the memo, and what was typed posted when it closes.
#include "memo_window.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "data_controls.h"
#include "support.h"
#include "ui_library.h"

namespace vemla {
namespace {

TEST(MemoWindow, FollowsTheCurrentTrackAndPostsOnClose) {
  test::TempDir dir;
  Tdb data{dir.path()};
  TForm9 memo{data};
  EXPECT_FALSE(memo.DBMemo1->isEnabled()) << "no library";
  test::open_library(data, dir.path(), {"One", "Two"});
  memo.show();
  EXPECT_FALSE(memo.isModal());
  EXPECT_EQ(memo.windowTitle(), "Memo");
  EXPECT_EQ(memo.DBMemo1->toPlainText(), "memo of One");
  data.Table1.next();
  EXPECT_EQ(memo.DBMemo1->toPlainText(), "memo of Two");

  memo.DBMemo1->setFocus();
  memo.DBMemo1->moveCursor(QTextCursor::End);
  QTest::keyClick(memo.DBMemo1, Qt::Key_Tab);
  QTest::keyClicks(memo.DBMemo1, "more");
  EXPECT_EQ(memo.DBMemo1->toPlainText(), "memo of Two\tmore");
  EXPECT_FALSE(memo.DBMemo1->tabChangesFocus()) << "the tab key types a tab";
  memo.BitBtn1->click();
  EXPECT_FALSE(memo.isVisible());
  EXPECT_EQ(data.Table1.state(), TableState::Browse);
  data.Table1.close();
  EXPECT_EQ(test::stored_value(dir.path(), "Lib.db", "MEMO", 2), "memo of Two\tmore");
}

}  // namespace
}  // namespace vemla
