// The library reopened at start: the option and its check box in the Options dialog, and the library that
// qualifies.
#include "last_library.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QSettings>
#include <filesystem>

#include "data.h"
#include "library_files.h"
#include "null_device.h"
#include "program.h"
#include "support.h"

namespace vemla {
namespace {

class LastLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings settings;
    settings.remove(QStringLiteral("ReopenLastLibrary"));
    settings.remove(QStringLiteral("LastLibrary"));
  }
  // A library of the test's own, closed again; its ".mb" file.
  QString make_library() {
    const LibraryPath library{folder.path(), "Kept"};
    EXPECT_EQ(create_library(program.data_module, library), CreateResult::Created);
    close_library(program.data_module);
    return QString::fromStdString(library.store().string());
  }
  void note(const QString& library) { QSettings().setValue(QStringLiteral("LastLibrary"), library); }

  test::TempDir folder;
  Program program{std::make_unique<NullDevice>(500)};
  LastLibrary last{program.form1, program.library, program.form2};
};

TEST_F(LastLibraryTest, OnByDefaultWithItsCheckBoxInOptions) {
  EXPECT_TRUE(LastLibrary::reopen_enabled());
  auto* box = program.form2.findChild<QCheckBox*>(QStringLiteral("ReopenLastLibrary"));
  ASSERT_EQ(box, last.check_box());
  EXPECT_EQ(box->text(), QStringLiteral("Reopen the last library at start"));
  EXPECT_TRUE(box->isChecked());
  box->setChecked(false);
  EXPECT_FALSE(LastLibrary::reopen_enabled());
  // Shown again, the dialog shows what is stored.
  LastLibrary::set_reopen_enabled(true);
  program.form2.show();
  EXPECT_TRUE(box->isChecked());
  program.form2.hide();
}

TEST_F(LastLibraryTest, ReopensTheNotedLibraryWhileItExists) {
  EXPECT_TRUE(last.library_to_reopen().isEmpty());  // none noted
  const QString library = make_library();
  note(library);
  EXPECT_EQ(last.library_to_reopen(), library);
  LastLibrary::set_reopen_enabled(false);
  EXPECT_TRUE(last.library_to_reopen().isEmpty());
  LastLibrary::set_reopen_enabled(true);
  delete_library(split_library_path(library.toStdString()));
  EXPECT_TRUE(last.library_to_reopen().isEmpty());  // gone: simply not opened
}

TEST_F(LastLibraryTest, ClosingWithoutALibraryNotesNone) {
  note(make_library());
  program.form1.show();
  program.form1.close();
  EXPECT_TRUE(LastLibrary::noted_library().isEmpty());
}

}  // namespace
}  // namespace vemla
