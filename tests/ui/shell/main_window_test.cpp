// The main window as built: its controls and their names, texts and hints, the menu bar, the bindings to the
// data module, the layout at the default font (and, run again with QT_SCALE_FACTOR=2, at twice the scale),
// the tab order and the exit.
#include "main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <map>

#include "data.h"
#include "data_controls.h"
#include "eliding_label.h"
#include "look.h"
#include "picture_panel.h"
#include "qt_print.h"
#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::create_library(dir.path(), "Lib");
    test::name_table(data.Table1, dir.path(), "Lib.db");
    test::name_table(data.Table3, dir.path(), "Lib1.db");
    data.Table1.open();
    test::append_track(data.Table1, "Morning Light", "a memo");
    test::append_track(data.Table1, "Blue Hour");
    data.Table1.close();
  }

  // The controls the window is made of, by form name.
  std::map<std::string, QObject*> controls() {
    TForm1& w = window;
    return {{"RzPanel2", w.RzPanel2},       {"Label1", w.Label1},
            {"Label2", w.Label2},           {"Label3", w.Label3},
            {"RzDBLineEdit1", w.RzDBLineEdit1}, {"RzDBLineEdit2", w.RzDBLineEdit2},
            {"RzDBLineEdit3", w.RzDBLineEdit3}, {"Label18", w.Label18},
            {"Label17", w.Label17},         {"CheckBox2", w.CheckBox2},
            {"DBCheckBox3", w.DBCheckBox3}, {"DBCheckBox1", w.DBCheckBox1},
            {"DBCheckBox2", w.DBCheckBox2}, {"RzTrackBar1", w.RzTrackBar1},
            {"RzPanel6", w.RzPanel6},       {"GroupBox1", w.GroupBox1},
            {"RzLabel1", w.RzLabel1},       {"Reset", w.Reset},
            {"Shuffle", w.Shuffle},         {"Arrange", w.Arrange},
            {"GroupBox2", w.GroupBox2},     {"DBMemo1", w.DBMemo1},
            {"GroupBox3", w.GroupBox3},     {"Label4", w.Label4},
            {"RzCheckList1", w.RzCheckList1}, {"Label5", w.Label5},
            {"ComboBox1", w.ComboBox1},     {"RzPanel1", w.RzPanel1},
            {"Play", w.Play},               {"Pause", w.Pause},
            {"Stop", w.Stop},               {"Prior", w.Prior},
            {"Next", w.Next},               {"BitBtn1", w.BitBtn1},
            {"RzStatusBar1", w.RzStatusBar1}, {"RzStatusPane1", w.RzStatusPane1},
            {"RzStatusPane2", w.RzStatusPane2}, {"RzProgressBar1", w.RzProgressBar1},
            {"RzStatusPane3", w.RzStatusPane3}};
  }

  // The controls a user works with, in the order the tab key visits them.
  std::vector<QWidget*> tab_order() {
    TForm1& w = window;
    return {w.RzDBLineEdit1, w.RzDBLineEdit2, w.RzDBLineEdit3, w.CheckBox2, w.DBCheckBox3, w.DBCheckBox1,
            w.DBCheckBox2,   w.RzTrackBar1,   w.Reset,         w.Shuffle,   w.Arrange,     w.DBMemo1,
            w.RzCheckList1,  w.ComboBox1,     w.Play,          w.Pause,     w.Stop,        w.Prior,
            w.Next,          w.BitBtn1};
  }

  void open_library() {
    data.Table2.open();
    data.Table1.open();
    data.Table3.open();
    window.Arrange->setEnabled(true);
  }

  test::TempDir dir;
  Tdb data{dir.path()};
  TForm1 window{data};
};

int help_context_of(const QObject* object) {
  return object->property(kHelpContext).toInt();
}

TEST_F(MainWindowTest, EveryControlCarriesItsFormName) {
  for (const auto& [name, control] : controls()) {
    ASSERT_NE(control, nullptr) << name;
    EXPECT_EQ(control->objectName().toStdString(), name);
    EXPECT_EQ(window.findChildren<QObject*>(QString::fromStdString(name)).size(), 1) << name;
  }
  for (QWidget* control : tab_order()) {
    EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
  }
  EXPECT_EQ(window.windowTitle(), "Vemla");
  EXPECT_FALSE(window.windowIcon().isNull());
}

// One menu as lines "name|caption|hint", "-" for a separator.
QStringList describe(const QList<QAction*>& actions) {
  QStringList lines;
  for (QAction* action : actions) {
    lines << (action->isSeparator() ? QStringLiteral("-")
                                    : action->objectName() + "|" + action->text() + "|" + action->statusTip());
  }
  return lines;
}

TEST_F(MainWindowTest, MenuBarHasItsCaptionsHintsAndSeparators) {
  EXPECT_EQ(describe(window.menuBar()->actions()),
            (QStringList{"|&Database|Database functions", "|&Track|Funcions related to the MPEG-file",
                         "Memo1|&Memo|", "Category1|&Category|", "|&View|", "|&Help|", "|&About|"}));
  EXPECT_EQ(describe(window.Database1->actions()),
            (QStringList{"Open1|&Open|Open a database", "Move1|&Move|Move a database", "Copy1|&Copy|Copy a database",
                         "Delete1|&Delete|Remove a database", "New1|&New|Create a new database", "-",
                         "Exit1|E&xit|Leave the program"}));
  EXPECT_EQ(
      describe(window.MPEG1->actions()),
      (QStringList{
          "Import1|&Add|Add MPEG to the database", "Export1|&Export|Copy the MPEG from database to disk",
          "fix1|&Fix MPEG into database|Fix the MPEG's in the database",
          "|Analyse &Loudness|Measure how loud tracks are and keep their ReplayGain", "-",
          "Delete2|&Delete |remove this track", "UndoDelete1|&Undo Delete|take back the last deleted track",
          "-", "Options1|&Options|General options", "Info1|&Info|info on this track"}));
  EXPECT_EQ(describe(window.Loudness1->actions()),
            (QStringList{"LoudnessTrack1|&Current Track|Measure this track with the other tracks of its album",
                         "LoudnessAll1|&All Tracks|Measure every track of the database"}));
  EXPECT_EQ(describe(window.Help1->actions()),
            (QStringList{"ShowHint1|Show&Hints|", "-", "General1|&General|", "QuickStart1|Quick Start|"}));
  EXPECT_EQ(describe(window.About1->actions()),
            (QStringList{"Vemla1|&Vemla|", "VisitKorvane1|&Visit Korvane|",
                         "SendemailtoKorvane1|&Send email to Korvane|"}));
  EXPECT_TRUE(window.ShowHint1->isCheckable() && window.ShowHint1->isChecked());

  // Only what works is enabled; the rest waits for its feature.
  for (QMenu* menu : {window.Database1, window.MPEG1, window.Loudness1, window.Help1, window.About1}) {
    for (QAction* action : menu->actions()) {
      if (action->isSeparator()) continue;
      EXPECT_EQ(action->isEnabled(), action == window.Exit1) << describe({action})[0].toStdString();
    }
  }
  EXPECT_FALSE(window.Memo1->isEnabled() || window.Category1->isEnabled());
  EXPECT_EQ(help_context_of(window.Database1), 80);
  EXPECT_EQ(help_context_of(window.Help1), 160);
  EXPECT_EQ(help_context_of(&window), 160);
}

TEST_F(MainWindowTest, ControlsStartAsDesigned) {
  EXPECT_EQ(window.Label17->text(), "0:00:00");
  EXPECT_EQ(window.Label18->text(), "0:00:00");
  EXPECT_EQ(window.Label17->toolTip(), "Elapsed time");
  EXPECT_EQ(window.Label18->statusTip(), "Total track time");
  const std::pair<QWidget*, const char*> hints[] = {
      {window.DBCheckBox2, "Automatically start playing"}, {window.DBCheckBox3, "Repeat total playlist"},
      {window.DBCheckBox1, "Automatic skip this track"},   {window.CheckBox2, "repeat this track"},
      {window.RzLabel1, "Tracks to be played"},            {window.Shuffle, "Random shuffle the playlist"},
      {window.Reset, "Reset the playlist"},                {window.Arrange, "Create playlist based on the categories"},
      {window.RzCheckList1, "Categories that fit this track"}, {window.ComboBox1, "Play tracks from this category"},
      {window.DBMemo1, "a memo on this track"},            {window.RzStatusPane1, "State of the database"},
      {window.RzStatusPane2, "track state"}};
  for (const auto& [control, text] : hints) {
    EXPECT_EQ(control->toolTip(), text) << control->objectName().toStdString();
    EXPECT_EQ(control->statusTip(), text) << control->objectName().toStdString();
  }

  ASSERT_EQ(window.RzCheckList1->count(), 64);
  ASSERT_EQ(window.ComboBox1->count(), 65);
  EXPECT_EQ(window.ComboBox1->itemText(0), "all");
  for (int k = 0; k < 64; ++k) {
    QListWidgetItem* item = window.RzCheckList1->item(k);
    EXPECT_EQ(item->text(), QString::number(k + 1));
    EXPECT_TRUE(item->flags() & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(item->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(item->checkState(), Qt::Unchecked);
    EXPECT_EQ(window.ComboBox1->itemText(k + 1), QString::number(k + 1));
  }
  EXPECT_FALSE(window.ComboBox1->isEditable());
  EXPECT_EQ(window.ComboBox1->currentIndex(), 0);
  EXPECT_FALSE(window.Arrange->isEnabled());

  // Play, Pause and Stop: one exclusive group, Stop down; Prior and Next plain buttons.
  EXPECT_TRUE(window.Stop->isChecked());
  window.Play->click();
  EXPECT_TRUE(window.Play->isChecked());
  EXPECT_FALSE(window.Stop->isChecked());
  EXPECT_TRUE(window.PlayerButtons->exclusive());
  EXPECT_FALSE(window.Prior->isCheckable() || window.Next->isCheckable());
  for (QToolButton* button : {window.Play, window.Pause, window.Stop, window.Prior, window.Next})
    EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
  EXPECT_EQ(window.RzTrackBar1->orientation(), Qt::Horizontal);

  for (QWidget* control : {static_cast<QWidget*>(window.RzPanel2), static_cast<QWidget*>(window.Label17),
                           static_cast<QWidget*>(window.Label18)})
    EXPECT_EQ(help_context_of(control), 220);
  EXPECT_EQ(help_context_of(window.GroupBox1), 100);
  EXPECT_EQ(help_context_of(window.RzCheckList1), 70);
  EXPECT_EQ(help_context_of(window.ComboBox1), 70);
}

TEST_F(MainWindowTest, TimeDisplaysKeepLimeOnBlackInADarkPalette) {
  const QPalette saved = QApplication::palette();
  QPalette dark = saved;
  dark.setColor(QPalette::Window, QColor(40, 40, 40));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  QApplication::setPalette(dark);
  TForm1 dark_window(data);
  for (QWidget* display : {static_cast<QWidget*>(dark_window.Label17), static_cast<QWidget*>(dark_window.Label18),
                           static_cast<QWidget*>(dark_window.RzLabel1)}) {
    EXPECT_EQ(display->palette().color(display->backgroundRole()), QColor(Qt::black));
    EXPECT_EQ(display->palette().color(display->foregroundRole()), QColor(0, 255, 0));
    EXPECT_TRUE(display->autoFillBackground());
  }
  // Every other label draws the palette's text colour on the palette's window colour.
  EXPECT_EQ(dark_window.Label1->palette().color(QPalette::WindowText), QColor(230, 230, 230));
  QApplication::setPalette(saved);
}

TEST_F(MainWindowTest, DataControlsFollowTheDataModule) {
  for (QWidget* control : {static_cast<QWidget*>(window.RzDBLineEdit1), static_cast<QWidget*>(window.DBMemo1),
                           static_cast<QWidget*>(window.DBCheckBox1), static_cast<QWidget*>(window.DBCheckBox2)})
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  EXPECT_TRUE(window.CheckBox2->isEnabled());
  data.Table2.open();
  EXPECT_TRUE(window.DBCheckBox2->isEnabled() && window.DBCheckBox3->isEnabled());
  EXPECT_FALSE(window.RzDBLineEdit1->isEnabled());
  data.Table1.open();
  EXPECT_EQ(window.RzDBLineEdit1->text(), "Morning Light");
  EXPECT_EQ(window.DBMemo1->toPlainText(), "a memo");
  data.Table1.next();
  EXPECT_EQ(window.RzDBLineEdit1->text(), "Blue Hour");
  window.DBCheckBox2->click();
  data.Table2.refresh();
  EXPECT_TRUE(data.Table2.field_by_name("AUTOPLAY").as_boolean());
  window.DBCheckBox3->click();
  data.Table2.refresh();
  EXPECT_TRUE(data.Table2.field_by_name("CONTINUE").as_boolean());
}

// Whether a widget is drawn: shown itself and by every parent up to the window.
bool drawn(const QWidget* widget) {
  return widget->isVisibleTo(widget->window()) && widget->isVisible();
}

TEST_F(MainWindowTest, LaidOutWithoutClippingOrOverlap) {
  open_library();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const bool doubled = qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("2");
  EXPECT_EQ(window.devicePixelRatio(), doubled ? 2.0 : 1.0);
  const QSize size = window.size();
  EXPECT_GE(size.width(), TForm1::default_size().width());
  EXPECT_GE(size.height(), TForm1::default_size().height());
  // At the default font the window keeps about its described size.
  EXPECT_LE(size.width(), TForm1::default_size().width() * 11 / 10);
  EXPECT_LE(size.height(), TForm1::default_size().height() * 11 / 10);

  std::vector<std::pair<QWidget*, QRect>> leaves;
  for (const auto& [name, object] : controls()) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !drawn(widget)) continue;
    const QRect in_window(widget->mapTo(&window, QPoint(0, 0)), widget->size());
    EXPECT_TRUE(window.rect().contains(in_window)) << name;
    EXPECT_GE(widget->width(), widget->minimumSizeHint().width()) << name;
    EXPECT_GE(widget->height(), widget->minimumSizeHint().height()) << name;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width()) << name;
      EXPECT_LE(label->fontMetrics().height(), label->contentsRect().height()) << name;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      EXPECT_GE(button->width(), button->sizeHint().width()) << name;
      EXPECT_GE(button->height(), button->sizeHint().height()) << name;
    }
    if (!qobject_cast<QFrame*>(widget) || qobject_cast<QLabel*>(widget) || qobject_cast<ElidingLabel*>(widget) ||
        qobject_cast<QAbstractScrollArea*>(widget))
      leaves.emplace_back(widget, in_window);
  }
  EXPECT_GE(leaves.size(), 30u);
  for (size_t i = 0; i < leaves.size(); ++i) {
    for (size_t j = i + 1; j < leaves.size(); ++j) {
      if (leaves[i].first->isAncestorOf(leaves[j].first) || leaves[j].first->isAncestorOf(leaves[i].first)) continue;
      EXPECT_FALSE(leaves[i].second.intersects(leaves[j].second))
          << leaves[i].first->objectName().toStdString() << " overlaps " << leaves[j].first->objectName().toStdString();
    }
  }
  // A playlist longer than the label shows its start, elided at the end.
  QString long_list;
  for (int r = 1; r <= 300; ++r) long_list += QString::asprintf("%02d ", r);
  window.RzLabel1->setText(long_list);
  EXPECT_TRUE(window.RzLabel1->shownText().startsWith(QStringLiteral("01 02 03")));
  EXPECT_TRUE(window.RzLabel1->shownText().endsWith(QChar(0x2026)));
  EXPECT_EQ(window.size(), size);
}

TEST_F(MainWindowTest, TabVisitsTheControlsInReadingOrder) {
  open_library();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const std::vector<QWidget*> expected = tab_order();
  std::vector<QWidget*> visited;
  QWidget* widget = expected.front();
  do {
    if (std::find(expected.begin(), expected.end(), widget) != expected.end()) visited.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != expected.front() && visited.size() < expected.size());
  EXPECT_EQ(visited, expected);
  for (QWidget* control : expected) EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << control->objectName().toStdString();
}

TEST_F(MainWindowTest, ExitAndTheExitButtonCloseTheWindow) {
  window.show();
  window.Exit1->trigger();
  EXPECT_FALSE(window.isVisible());
  window.show();
  QTest::keyClick(window.BitBtn1, Qt::Key_Space);
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace vemla
