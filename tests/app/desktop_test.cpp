// The program's place on the desktop without a bus: the library opened at start (named, or the last one), a
// library handed over by a later start, and the library noted when the window closes.
#include "desktop.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include "data.h"
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
