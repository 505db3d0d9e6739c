// The application shell on a whole program: the first showing (geometry, settings table, hints), the closing
// (geometry kept for a normal window only, pending edits posted, tables closed), a damaged settings table at
// start, the hint switch, the menu items it carries, About and the maker's links.
#include "shell.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "application.h"
#include "data_controls.h"
#include "error_box.h"
#include "hint_switch.h"
#include "notifier.h"
#include "null_device.h"
#include "program.h"
#include "settings_location.h"
#include "support.h"
#include "ui_library.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

class Messages : public Notifier {
 public:
  void notify(std::string_view, std::string_view text, MessageIcon) override { texts.emplace_back(text); }
  std::vector<std::string> texts;
};

// Takes the addresses the program asks the desktop to open.
class UrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { urls << url.toString(); }

 public:
  QStringList urls;
};

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set_error_handler([this](const QString& text) { errors << text; });
    registry().clear();
    registry().sync();
    for (const auto& entry : fs::directory_iterator(settings_folder())) fs::remove_all(entry.path());
  }
  void TearDown() override {
    program.reset();
    set_error_handler({});
  }

  static QSettings& registry() {
    static QSettings settings(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication));
    settings.sync();
    return settings;
  }

  // A program as main() makes it, its window shown (the first activation).
  Program& start() {
    program.reset();
    program = std::make_unique<Program>(std::make_unique<NullDevice>(500));
    set_notifier(&messages);
    program->form1.show();
    return *program;
  }

  // Presses OK on the dialog once exec() runs it, after `act`.
  template <typename Act>
  static void when_shown(QDialog& dialog, QAbstractButton* ok, Act act) {
    QTimer::singleShot(0, &dialog, [&dialog, ok, act] {
      EXPECT_TRUE(dialog.isVisible() && dialog.isModal());
      act();
      ok->click();
    });
  }

  QPoint stored_position() { return {registry().value("x").toInt(), registry().value("y").toInt()}; }

  std::unique_ptr<Program> program;
  Messages messages;
  QStringList errors;
  test::TempDir dir;
};

TEST_F(ShellTest, FirstStartPlacesTheWindowAndOpensTheSettings) {
  Program& p = start();
  EXPECT_EQ(p.form1.pos(), QPoint(15, 10));
  EXPECT_GE(p.form1.width(), 632);
  EXPECT_GE(p.form1.height(), 387);
  EXPECT_EQ(stored_position(), QPoint(15, 10));
  EXPECT_EQ(registry().value("dx").toInt(), 632);
  EXPECT_EQ(registry().value("dy").toInt(), 387);
  EXPECT_TRUE(p.data_module.Table2.is_open());
  EXPECT_TRUE(p.form1.ShowHint1->isChecked() && p.shell.hint_switch().on());
  EXPECT_EQ(p.player.player_state(), PlayerState::Stopped);
  EXPECT_TRUE(p.form1.RzCheckList1->item(63)->flags() & Qt::ItemIsEnabled);
  // Later showings leave the window where the user put it.
  p.form1.move(40, 30);
  p.form1.hide();
  p.form1.show();
  EXPECT_EQ(p.form1.pos(), QPoint(40, 30));
  EXPECT_TRUE(messages.texts.empty() && errors.isEmpty());
}

// A first start showed a grey window and no word on where to begin; the word goes once a library opens.
TEST_F(ShellTest, FirstStartSaysHowToBeginUntilALibraryOpens) {
  Program& p = start();
  EXPECT_TRUE(p.form1.RzStatusBar1->currentMessage().contains("Database > New"))
      << p.form1.RzStatusBar1->currentMessage().toStdString();
  test::create_library(dir.path(), "Lib");
  ASSERT_TRUE(p.library.open_library_file(QString::fromStdString((dir.path() / "Lib.mb").string())));
  EXPECT_EQ(p.form1.RzStatusBar1->currentMessage(), QString());
}

TEST_F(ShellTest, CloseKeepsTheGeometryOfANormalWindowOnly) {
  start().form1.move(100, 120);
  program->form1.close();
  EXPECT_EQ(stored_position(), QPoint(100, 120));
  EXPECT_EQ(registry().value("dx").toInt(), program->form1.width());

  Program& next = start();
  EXPECT_EQ(next.form1.pos(), QPoint(100, 120));
  for (Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
    Program& p = start();
    p.form1.move(300, 200);
    p.form1.setWindowState(state);
    p.form1.close();
    EXPECT_EQ(stored_position(), QPoint(100, 120)) << state;
  }
}

TEST_F(ShellTest, APositionOnNoScreenComesBackOntoOne) {
  registry().setValue("x", 20000);
  registry().setValue("y", -9000);
  registry().setValue("dx", 632);
  registry().setValue("dy", 387);
  registry().sync();
  Program& p = start();
  const QRect window = p.form1.frameGeometry();
  bool on_a_screen = false;
  for (const QScreen* screen : QGuiApplication::screens())
    on_a_screen = on_a_screen || screen->availableGeometry().contains(window);
  EXPECT_TRUE(on_a_screen) << window.x() << "," << window.y() << " " << window.width() << "x" << window.height();
}

TEST_F(ShellTest, DamagedSettingsAreKeptAsideAndTheProgramStarts) {
  test::write_text(settings_folder() / "reg.db", "these are not settings");
  Program& p = start();
  ASSERT_TRUE(p.data_module.Table2.is_open());
  EXPECT_TRUE(p.data_module.Table2.field_by_name("HINTS").as_boolean());
  ASSERT_TRUE(QTest::qWaitFor([&] { return messages.texts.size() == 1; }, 10000));
  EXPECT_NE(messages.texts[0].find("reg.db.damaged-"), std::string::npos) << messages.texts[0];
  EXPECT_NE(messages.texts[0].find("not a table file"), std::string::npos) << messages.texts[0];
  int kept = 0;
  for (const auto& entry : fs::directory_iterator(settings_folder()))
    kept += entry.path().filename().string().starts_with("reg.db.damaged-") ? 1 : 0;
  EXPECT_EQ(kept, 1);
}

TEST_F(ShellTest, HintsOffHideEveryHintAndAreRemembered) {
  Program& p = start();
  auto status_tip_shown = [&] {
    p.form1.statusBar()->clearMessage();
    QStatusTipEvent tip(QStringLiteral("Leave the program"));
    QApplication::sendEvent(p.form1.BitBtn1, &tip);
    return p.form1.statusBar()->currentMessage() == QLatin1String("Leave the program");
  };
  int probes = 0;
  auto tool_tip_shown = [&] {
    // A tip of its own each time: a tip that was just hidden may still be fading out.
    const QString tip = QStringLiteral("Leave the program (%1)").arg(++probes);
    p.form1.BitBtn1->setToolTip(tip);
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), p.form1.BitBtn1->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(p.form1.BitBtn1, &help);
    return QToolTip::text() == tip;
  };
  EXPECT_TRUE(status_tip_shown());
  EXPECT_TRUE(tool_tip_shown());

  p.form1.ShowHint1->trigger();
  EXPECT_FALSE(p.form1.ShowHint1->isChecked());
  EXPECT_FALSE(status_tip_shown());
  EXPECT_FALSE(tool_tip_shown());
  EXPECT_FALSE(p.data_module.Table2.field_by_name("HINTS").as_boolean());
  p.form1.close();

  Program& next = start();
  EXPECT_FALSE(next.form1.ShowHint1->isChecked());
  EXPECT_FALSE(next.shell.hint_switch().on());
  next.shell.ShowHint1Click();
  EXPECT_TRUE(next.form1.ShowHint1->isChecked());
  EXPECT_TRUE(next.data_module.Table2.field_by_name("HINTS").as_boolean());
  QToolTip::hideText();
}

TEST_F(ShellTest, CarriesItsMenuItemsWithAndWithoutALibrary) {
  Program& p = start();
  TForm1& f = p.form1;
  for (QAction* item : {f.ShowHint1, f.General1, f.QuickStart1, f.Vemla1, f.VisitKorvane1, f.SendemailtoKorvane1,
                        f.Options1})
    EXPECT_TRUE(item->isEnabled()) << item->objectName().toStdString();
  // Options without a library: the read-only flag cannot be set.
  when_shown(p.form2, p.form2.BitBtn1, [&] { EXPECT_FALSE(p.form2.CheckBox1->isEnabled()); });
  f.Options1->trigger();

  test::open_library(p.data_module, dir.path(), {"One", "Two"});
  p.library.set_library_controls(true);  // as opening a library through its menu does
  when_shown(p.form2, p.form2.BitBtn1, [&] {
    EXPECT_TRUE(p.form2.CheckBox1->isEnabled());
    p.form2.RzDBRadioGroup1->button(1)->click();
  });
  f.Options1->trigger();
  EXPECT_TRUE(p.data_module.Table2.field_by_name("STORAGE").as_boolean());

  when_shown(p.form3, p.form3.BitBtn1, [&] {
    p.form3.edit(5)->setText(QString());
    QTest::keyClicks(p.form3.edit(5), "Folk");
  });
  f.Category1->trigger();
  EXPECT_EQ(p.data_module.Table3.field_by_name("C5").as_text(), "Folk");
  EXPECT_EQ(p.data_module.Table3.state(), TableState::Browse);

  f.Memo1->trigger();
  EXPECT_TRUE(p.form9.isVisible());
  EXPECT_FALSE(p.form9.isModal());
  EXPECT_EQ(p.form9.DBMemo1->toPlainText(), "memo of One");
  p.data_module.Table1.next();
  EXPECT_EQ(p.form9.DBMemo1->toPlainText(), "memo of Two");
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(ShellTest, ClosingPostsPendingEditsAndClosesTheTables) {
  Program& p = start();
  test::open_library(p.data_module, dir.path(), {"One"});
  p.data_module.data.write_text("TITLE", "Renamed");
  p.data_module.categories.write_text("C1", "Rock");
  ASSERT_EQ(p.data_module.Table1.state(), TableState::Edit);
  p.form1.close();
  for (Table* table : {&p.data_module.Table1, &p.data_module.Table2, &p.data_module.Table3})
    EXPECT_FALSE(table->is_open()) << table->table_name();
  EXPECT_EQ(test::stored_value(dir.path(), "Lib.db", "TITLE"), "Renamed");
  EXPECT_EQ(test::stored_value(dir.path(), "Lib1.db", "C1"), "Rock");
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(ShellTest, AboutAlwaysSaysVersion125) {
  Program& p = start();
  p.form11.Version->setText(QStringLiteral("Version 0.9"));
  QString shown;
  when_shown(p.form11, p.form11.OKButton, [&] { shown = p.form11.Version->text(); });
  p.form1.Vemla1->trigger();
  EXPECT_EQ(shown, "Version 1.25");
  for (const char* library : {"Qt ", "SQLite ", "TagLib ", "ALSA "})
    EXPECT_TRUE(p.form11.Comments->text().contains(QLatin1String(library))) << library;
  EXPECT_FALSE(p.form11.ProgramIcon->pixmap().isNull());
}

TEST_F(ShellTest, MakersLinksOpenTheExampleAddresses) {
  Program& p = start();
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
  QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
  p.form1.VisitKorvane1->trigger();
  p.form1.SendemailtoKorvane1->trigger();
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
  EXPECT_EQ(catcher.urls, (QStringList{"https://www.example.com/", "mailto:support@example.com"}));
}

TEST(Application, AnErrorInAHandlerIsShownAndTheLoopGoesOn) {
  QStringList shown;
  set_error_handler([&](const QString& text) { shown << text; });
  EXPECT_FALSE(deliver_reporting_errors([]() -> bool { throw TableError("The table X is in use"); }));
  EXPECT_TRUE(deliver_reporting_errors([] { return true; }));
  set_error_handler({});
  EXPECT_EQ(shown, QStringList{"The table X is in use"});
}

}  // namespace
}  // namespace vemla

#include "shell_test.moc"
