// The main window's keyboard: the menus' shortcuts (in text fields too), the player's keys, Tab through every
// control, and space, which plays and pauses unless the focused control uses it itself.
#include "keyboard_shortcuts.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QSet>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <utility>
#include <vector>

#include "data_controls.h"
#include "null_device.h"
#include "picture_panel.h"
#include "program.h"

namespace vemla {
namespace {

class KeyboardShortcutsTest : public ::testing::Test {
 protected:
  Program program{std::make_unique<NullDevice>(500)};
  TForm1& form = program.form1;
  int presses = 0;
  KeyboardShortcuts keys{form, [this] { ++presses; }};
};

TEST_F(KeyboardShortcutsTest, MenuItemsHaveTheUsualKeys) {
  EXPECT_EQ(form.Open1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(form.New1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_EQ(form.Exit1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  QSet<QString> keys_seen;
  for (const MenuShortcut& item : menu_shortcuts(form)) {
    EXPECT_EQ(item.action->shortcut(), item.key) << item.action->objectName().toStdString();
    EXPECT_FALSE(item.key.isEmpty());
    keys_seen.insert(item.key.toString());
  }
  EXPECT_EQ(keys_seen.size(), static_cast<qsizetype>(menu_shortcuts(form).size()));  // no key twice
}

TEST_F(KeyboardShortcutsTest, ShortcutTriggersItsItem) {
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  // The memo window is the item whose handler opens no modal dialog.
  int opened = 0;
  QObject::connect(form.Memo1, &QAction::triggered, [&] { ++opened; });
  form.Memo1->setEnabled(true);
  QTest::keyClick(&form, Qt::Key_M, Qt::ControlModifier);
  EXPECT_EQ(opened, 1);
  program.form9.hide();
}

TEST_F(KeyboardShortcutsTest, SpacePlaysWhereNoControlUsesIt) {
  QTest::keyClick(&form, Qt::Key_Space);
  EXPECT_EQ(presses, 1);
  // The position bar has no use for space: it goes on to the window.
  form.RzTrackBar1->setEnabled(true);
  QTest::keyClick(form.RzTrackBar1, Qt::Key_Space);
  EXPECT_EQ(presses, 2);
  // With a modifier it is another key.
  QTest::keyClick(&form, Qt::Key_Space, Qt::ShiftModifier);
  EXPECT_EQ(presses, 2);
}

TEST_F(KeyboardShortcutsTest, SpaceStaysWithControlsThatUseIt) {
  // A text field of the window (one of its own, as the bound ones need a library to write into).
  auto* field = new QLineEdit(form.RzPanel2);
  QTest::keyClick(field, Qt::Key_Space);
  EXPECT_EQ(field->text(), QStringLiteral(" "));
  form.CheckBox2->setEnabled(true);
  const bool ticked = form.CheckBox2->isChecked();
  QTest::keyClick(form.CheckBox2, Qt::Key_Space);
  EXPECT_NE(form.CheckBox2->isChecked(), ticked);
  EXPECT_EQ(presses, 0);
}

TEST_F(KeyboardShortcutsTest, WindowStartsWithNoTextFieldFocused) {
  form.RzDBLineEdit1->setEnabled(true);
  form.RzDBLineEdit1->setFocus();
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.RzDBLineEdit1->hasFocus(); }, 20000));
  QTest::keyClick(&form, Qt::Key_Space);
  EXPECT_EQ(presses, 1);
}

// A library opened after the window showed enables its text fields: the window that then becomes active must
// not hand its focus to the first of them, where space would be typed into the title.
TEST_F(KeyboardShortcutsTest, FocusStaysOffTextFieldsWhenALibraryOpens) {
  form.show();
  QCoreApplication::processEvents();
  form.RzDBLineEdit1->setEnabled(true);
  form.RzDBLineEdit2->setEnabled(true);
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_EQ(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr)
      << QApplication::focusWidget()->objectName().toStdString();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(presses, 1);
  // Tab still goes to the first control.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form.RzDBLineEdit1);
}

// The menus' keys work while a text field has the focus; Ctrl+Z is the field's own while it has typing to
// take back.
TEST_F(KeyboardShortcutsTest, MenuKeysWorkInTextFields) {
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  auto* field = new QLineEdit(form.RzPanel2);
  field->show();
  field->setFocus();
  int exports = 0, undos = 0;
  QObject::connect(form.Export1, &QAction::triggered, [&] { ++exports; });
  QObject::connect(form.UndoDelete1, &QAction::triggered, [&] { ++undos; });
  form.MPEG1->setEnabled(true);  // the Track menu, as with a library open
  form.MPEG1->menuAction()->setEnabled(true);
  form.Export1->setEnabled(true);
  form.UndoDelete1->setEnabled(true);
  QTest::keyClick(field, Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(exports, 1);
  QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(undos, 1);
  QTest::keyClicks(field, "abc");
  QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(undos, 1);
  EXPECT_NE(field->text(), QStringLiteral("abc"));
  // Word by word in a field, not Prior and Next.
  TransportCommands transport;
  int moves = 0;
  transport.next = transport.prior = [&] { ++moves; };
  keys.bind_transport(transport);
  field->clear();
  QTest::keyClicks(field, "two words");
  QTest::keyClick(field, Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(field->cursorPosition(), 4);
  EXPECT_EQ(moves, 0);
}

TEST_F(KeyboardShortcutsTest, PlayerKeysCallTheTransport) {
  QStringList called;
  TransportCommands transport;
  transport.play = [&] { called << "play"; };
  transport.pause = [&] { called << "pause"; };
  transport.play_pause = [&] { called << "play_pause"; };
  transport.stop = [&] { called << "stop"; };
  transport.next = [&] { called << "next"; };
  transport.prior = [&] { called << "prior"; };
  transport.volume_up = [&] { called << "up"; };
  transport.volume_down = [&] { called << "down"; };
  keys.bind_transport(transport);
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QWidget* focused = QApplication::focusWidget() ? QApplication::focusWidget() : &form;
  for (const auto& [key, modifiers] :
       std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>{{Qt::Key_MediaPlay, {}},
                                                              {Qt::Key_MediaPause, {}},
                                                              {Qt::Key_MediaTogglePlayPause, {}},
                                                              {Qt::Key_MediaStop, {}},
                                                              {Qt::Key_Period, Qt::ControlModifier},
                                                              {Qt::Key_MediaNext, {}},
                                                              {Qt::Key_Right, Qt::ControlModifier},
                                                              {Qt::Key_MediaPrevious, {}},
                                                              {Qt::Key_Left, Qt::ControlModifier},
                                                              {Qt::Key_Up, Qt::ControlModifier},
                                                              {Qt::Key_Down, Qt::ControlModifier}})
    QTest::sendKeyEvent(QTest::Click, focused, key, QString(), modifiers);  // media keys have no text
  EXPECT_EQ(called,
            (QStringList{"play", "pause", "play_pause", "stop", "stop", "next", "next", "prior", "prior", "up",
                         "down"}));
  EXPECT_EQ(presses, 0);
  EXPECT_EQ(transport_shortcuts().size(), 11u);
}

// Play, Pause and Stop are one group of buttons, where the one with the focus would take Tab from the others.
TEST_F(KeyboardShortcutsTest, TabReachesEveryTransportButton) {
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  for (QToolButton* button : {form.Play, form.Pause, form.Stop, form.Prior, form.Next})
    button->setEnabled(true);
  form.Play->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(form.Play->hasFocus());
  for (QToolButton* next : {form.Pause, form.Stop, form.Prior, form.Next}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
  }
  for (QToolButton* back : {form.Prior, form.Stop, form.Pause, form.Play}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), back) << back->objectName().toStdString();
  }
}

TEST_F(KeyboardShortcutsTest, TransportButtonsLeaveTheFocusToClicks) {
  for (QToolButton* button : {form.Play, form.Pause, form.Stop, form.Prior, form.Next})
    EXPECT_EQ(button->focusPolicy(), Qt::TabFocus) << button->objectName().toStdString();
}

}  // namespace
}  // namespace vemla
