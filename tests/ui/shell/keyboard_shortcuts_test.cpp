// The main window's keyboard: the menus' shortcuts, and space, which plays and pauses unless the focused control
// uses it itself.
#include "keyboard_shortcuts.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QSet>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "data_controls.h"
#include "picture_panel.h"
#include "null_device.h"
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

TEST_F(KeyboardShortcutsTest, TransportButtonsLeaveTheFocusToClicks) {
  for (QToolButton* button : {form.Play, form.Pause, form.Stop, form.Prior, form.Next})
    EXPECT_EQ(button->focusPolicy(), Qt::TabFocus) << button->objectName().toStdString();
}

}  // namespace
}  // namespace vemla
