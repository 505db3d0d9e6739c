// The program's place on the desktop without a bus: the library opened at start (named, or the last one), a
// library handed over by a later start, and the library noted when the window closes.
#include "desktop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "data.h"
#include "error_box.h"
#include "library_files.h"
#include "null_device.h"
#include "program.h"
#include "support.h"

namespace vemla {
namespace {

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings settings;
    settings.remove(QStringLiteral("ReopenLastLibrary"));
    settings.remove(QStringLiteral("LastLibrary"));
    program.data_module.Table2.open();
  }
  // A library of the test's own, closed again; its ".mb" file.
  QString make_library(const std::string& name) {
    const LibraryPath library{folder.path(), name};
    EXPECT_EQ(create_library(program.data_module, library), CreateResult::Created);
    close_library(program.data_module);
    return QString::fromStdString(library.store().string());
  }
  QString open_library() { return program.library.open_library_path(); }
  bool opens(const QString& library) {
    return QTest::qWaitFor([&] { return open_library() == library; }, 20000);
  }
  void start(const QString& library) {
    program.form1.show();
    desktop.open_at_start(library);
  }

  test::TempDir folder;
  Program program{std::make_unique<NullDevice>(500)};
  Desktop desktop{program, QDBusConnection(QString()), [] {}};
};

TEST_F(DesktopTest, WithoutABusTheProgramRunsAlone) {
  QString problem;
  EXPECT_EQ(desktop.start(QString(), problem), ClaimResult::Alone);
  EXPECT_TRUE(problem.isEmpty());
}

TEST_F(DesktopTest, NamedLibraryOpensOnceTheWindowShows) {
  const QString library = make_library("Named");
  start(library);
  EXPECT_TRUE(opens(library));
  EXPECT_TRUE(program.data_module.Table1.is_open());
}

TEST_F(DesktopTest, LastLibraryOpensWhenNoneIsNamed) {
  QSettings().setValue(QStringLiteral("LastLibrary"), make_library("Last"));
  const QString named = make_library("Named");
  start(named);  // a named library wins
  EXPECT_TRUE(opens(named));
}

TEST_F(DesktopTest, LastLibraryReopened) {
  const QString last = make_library("Last");
  QSettings().setValue(QStringLiteral("LastLibrary"), last);
  start(QString());
  EXPECT_TRUE(opens(last));
}

TEST_F(DesktopTest, LastLibraryNotReopenedWhenTheOptionIsOff) {
  QSettings().setValue(QStringLiteral("LastLibrary"), make_library("Last"));
  LastLibrary::set_reopen_enabled(false);
  start(QString());
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(open_library().isEmpty());
}

TEST_F(DesktopTest, HandedOverLibraryWaitsForAnOpenDialog) {
  const QString library = make_library("Handed");
  program.form1.show();
  QDialog dialog(&program.form1);
  dialog.setModal(true);
  dialog.show();
  ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
  desktop.activate(library);
  QCoreApplication::processEvents();
  EXPECT_TRUE(open_library().isEmpty());  // not from under the dialog
  dialog.accept();
  EXPECT_TRUE(opens(library));
}

// A later start naming the library already open (a second double-click on it) raises the window and leaves
// the library, its playlist and what plays as they are.
TEST_F(DesktopTest, HandingOverTheOpenLibraryKeepsItAsItIs) {
  const QString library = make_library("Open");
  const QString other = make_library("Other");
  start(library);
  ASSERT_TRUE(opens(library));
  QSignalSpy changes(&program.library, &LibraryCommands::library_changed);
  const QFileInfo file(library);
  for (const QString& same : {library, file.absolutePath() + QStringLiteral("/./Open.db")}) {
    desktop.activate(same);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(changes.size(), 0) << "the open library was opened again";
  desktop.activate(other);
  EXPECT_TRUE(opens(other));
  EXPECT_EQ(changes.size(), 1);
}

// A later start naming something that cannot be opened as a library leaves the open library as it was.
TEST_F(DesktopTest, FailedHandoverKeepsTheOpenLibrary) {
  const QString library = make_library("Open");
  make_library("Held");
  start(library);
  ASSERT_TRUE(opens(library));
  QStringList errors;
  set_error_handler([&](const QString& text) { errors << text; });
  const std::filesystem::path root = folder.path();
  // Another table's schema: the category names of a library in place of a track table.
  std::filesystem::copy_file(root / "Open1.db", root / "Other.db");
  std::filesystem::copy_file(root / "Open.mb", root / "Other.mb");
  std::filesystem::create_directory(root / "Folder.db");
  test::write_file(root / "Garbage.db", std::vector<uint8_t>(4096, 'g'));
  test::write_file(root / "Garbage.mb", std::vector<uint8_t>(4096, 'g'));
  ASSERT_EQ(::mkfifo((root / "Pipe.db").c_str(), 0600), 0);
  // A library another program has open.
  Table held;
  held.set_location(root);
  held.set_table_name("Held.db");
  held.open();
  for (const char* name : {"Other", "Folder", "Garbage", "Pipe", "Held"}) {
    errors.clear();
    desktop.activate(QString::fromStdString((root / (std::string(name) + ".mb")).string()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 20000)) << name;
    EXPECT_TRUE(errors.back().contains(QStringLiteral("stays open"))) << errors.back().toStdString();
    EXPECT_EQ(open_library(), library) << name;
    EXPECT_TRUE(program.data_module.Table1.is_open()) << name;
    EXPECT_TRUE(program.form1.Play->isEnabled()) << name;
  }
  set_error_handler({});
}

// A thousand later starts naming a missing library: one box, which counts the others, rather than a queue of
// boxes to press one by one.
TEST_F(DesktopTest, RepeatedBadHandoversShowOneBox) {
  program.form1.show();
  QStringList closed;  // the informative text of each box the user closed
  QTimer user;         // who closes what shows, after a while
  QObject::connect(&user, &QTimer::timeout, [&] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
        closed << box->informativeText();
        box->accept();
      }
    }
  });
  user.start(1000);
  const QString missing = QString::fromStdString((folder / "Missing.mb").string());
  for (int i = 0; i < 20; ++i) desktop.activate(missing);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !closed.isEmpty(); }, 20000));
  // Time for the boxes of a queue to come up, which they should not: the check is that nothing more shows,
  // so there is no condition to wait for.
  QTest::qWait(3000);
  EXPECT_EQ(closed, QStringList{QStringLiteral("(and 19 more)")});
}

TEST_F(DesktopTest, LibraryOpenAtClosingIsNoted) {
  const QString library = make_library("Noted");
  start(library);
  ASSERT_TRUE(opens(library));
  program.form1.close();
  EXPECT_EQ(LastLibrary::noted_library(), library);
  EXPECT_FALSE(program.data_module.Table1.is_open());  // the window's closing closed it afterwards
}

}  // namespace
}  // namespace vemla
