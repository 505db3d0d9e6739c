// The program's message boxes: shown without holding their caller up, the same message counted into the box
// already shown, and long file names cut so that no box is wider than the screen.
#include "message_boxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "qt_print.h"

namespace vemla {
namespace {

QList<QMessageBox*> shown_boxes() {
  QList<QMessageBox*> boxes;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) boxes << box;
  }
  return boxes;
}

class MessageBoxesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (QMessageBox* box : shown_boxes()) box->accept();
    QCoreApplication::processEvents();
  }
};

TEST_F(MessageBoxesTest, TheSameMessageIsCountedIntoTheBoxShown) {
  for (int i = 0; i < 5; ++i) show_message(nullptr, "Vemla", "There is no database X.", MessageIcon::Error);
  show_message(nullptr, "Vemla", "Something else.", MessageIcon::Error);
  QList<QMessageBox*> boxes = shown_boxes();
  ASSERT_EQ(boxes.size(), 2);
  QMessageBox* first = boxes[0]->text() == "There is no database X." ? boxes[0] : boxes[1];
  EXPECT_EQ(first->text(), QStringLiteral("There is no database X."));
  EXPECT_EQ(first->informativeText(), QStringLiteral("(and 4 more)"));
  EXPECT_EQ(first->icon(), QMessageBox::Critical);
  EXPECT_TRUE(is_message_box(first));
  EXPECT_EQ(QApplication::activeModalWidget() != nullptr, true) << "the boxes are modal";

  // Once it is closed, the message opens a box of its own again.
  first->accept();
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown_boxes().size() == 1; }, 20000));
  show_message(nullptr, "Vemla", "There is no database X.", MessageIcon::Error);
  boxes = shown_boxes();
  ASSERT_EQ(boxes.size(), 2);
  for (QMessageBox* box : boxes) EXPECT_TRUE(box->informativeText().isEmpty());
}

TEST_F(MessageBoxesTest, AWaitingBoxIsNoMessageBoxOfTheCounted) {
  QTimer::singleShot(0, [] {
    for (QMessageBox* box : shown_boxes()) {
      EXPECT_FALSE(is_message_box(box));
      box->accept();
    }
  });
  show_message_and_wait(nullptr, "Vemla", "Closing.", MessageIcon::Error);
  EXPECT_TRUE(shown_boxes().isEmpty());
}

TEST_F(MessageBoxesTest, LongNamesAreCutInTheMiddle) {
  EXPECT_EQ(with_long_words_elided("a short text\nin two lines", 10),
            QStringLiteral("a short text\nin two lines"));
  EXPECT_EQ(with_long_words_elided("open /home/user/abcdefghijklmnop now", 10),
            QStringLiteral("open /hom") + QChar(0x2026) + QStringLiteral("lmnop now"));
  // A character outside the basic plane is never split into halves.
  QString clefs;
  for (int i = 0; i < 20; ++i) clefs += QStringLiteral("\U0001D11E");
  const QString cut = with_long_words_elided(clefs, 10);
  EXPECT_LE(cut.size(), 10);
  for (qsizetype i = 0; i < cut.size(); ++i) {
    const bool whole = cut[i].isHighSurrogate()  ? i + 1 < cut.size() && cut[i + 1].isLowSurrogate()
                       : cut[i].isLowSurrogate() ? i > 0 && cut[i - 1].isHighSurrogate()
                                                 : true;
    EXPECT_TRUE(whole) << i;
  }
}

TEST_F(MessageBoxesTest, ABoxNamingAHugeFileFitsTheScreen) {
  const QString name = QStringLiteral("/music/") + QString(10000, QLatin1Char('n')) + QStringLiteral(".mb");
  show_message(nullptr, "Vemla", QStringLiteral("The database %1 cannot be opened.").arg(name),
               MessageIcon::Error);
  const QList<QMessageBox*> boxes = shown_boxes();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_LE(boxes[0]->width(), QGuiApplication::primaryScreen()->availableGeometry().width());
  EXPECT_TRUE(boxes[0]->text().endsWith(QStringLiteral("nnn.mb cannot be opened.")));
}

}  // namespace
}  // namespace vemla
