// The "Categories" dialog: 64 edits of the library's category names in four columns of sixteen, names cut to
// 40 characters, a new library's row begun by the first name, a read-only library left unchanged.
#include "category_dialog.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "data_controls.h"
#include "error_box.h"
#include "support.h"
#include "ui_library.h"

namespace vemla {
namespace {

class CategoryDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set_error_handler([this](const QString& text) { errors << text; });
    test::open_library(data, dir.path(), {"One"});
  }
  void TearDown() override { set_error_handler({}); }

  void type_into(int k, const QString& text) {
    dialog.edit(k)->setFocus();
    dialog.edit(k)->selectAll();
    QTest::keyClicks(dialog.edit(k), text);
  }

  test::TempDir dir;
  Tdb data{dir.path()};
  TForm3 dialog{data};
  QStringList errors;
};

TEST_F(CategoryDialogTest, SixtyFourEditsInFourColumnsOfSixteen) {
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Categories");
  for (int k = 1; k <= 64; ++k) {
    DBLineEdit* edit = dialog.edit(k);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->objectName(), QStringLiteral("RzDBLineEdit%1").arg(k));
    EXPECT_EQ(edit->binding().column(), "C" + std::to_string(k));
    EXPECT_EQ(edit->toolTip(), "Enter the category");
    EXPECT_GE(edit->width(), 121);
    const int column = (k - 1) / 16, row = (k - 1) % 16;
    // Same column: same left edge; next row: lower. Next column: to the right.
    EXPECT_EQ(edit->x(), dialog.edit(column * 16 + 1)->x()) << k;
    if (row > 0) {
      EXPECT_GT(edit->y(), dialog.edit(k - 1)->y()) << k;
    }
    if (column > 0) {
      EXPECT_GT(edit->x(), dialog.edit(k - 16)->x() + 121) << k;
    }
  }
  EXPECT_GT(dialog.BitBtn1->mapTo(&dialog, QPoint(0, 0)).y(), dialog.edit(16)->y());
}

TEST_F(CategoryDialogTest, FirstNameBeginsTheRowAndLongNamesAreCut) {
  ASSERT_EQ(data.Table3.record_count(), 0);
  dialog.show();
  type_into(1, "Rock");
  type_into(64, QString(45, QLatin1Char('x')));
  EXPECT_EQ(dialog.edit(64)->text(), QString(40, QLatin1Char('x'))) << "what is typed is what is kept";
  // A name written by other means is cut by the store.
  data.categories.write_text("C33", std::string(50, 'y'));
  dialog.BitBtn1->click();
  EXPECT_EQ(data.Table3.record_count(), 1);
  EXPECT_EQ(data.Table3.state(), TableState::Browse) << "posted when the dialog closes";
  data.Table3.close();
  EXPECT_EQ(test::stored_value(dir.path(), "Lib1.db", "C1"), "Rock");
  EXPECT_EQ(test::stored_value(dir.path(), "Lib1.db", "C64"), std::string(40, 'x'));
  EXPECT_EQ(test::stored_value(dir.path(), "Lib1.db", "C33"), std::string(40, 'y'));
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(CategoryDialogTest, NamesOfAReadOnlyLibraryCannotChange) {
  data.categories.write_text("C2", "Jazz");
  data.Table3.close();
  data.Table3.set_read_only(true);
  data.Table3.open();
  dialog.show();
  EXPECT_EQ(dialog.edit(2)->text(), "Jazz");
  EXPECT_TRUE(dialog.edit(2)->isReadOnly());
  type_into(2, "Blues");
  dialog.BitBtn1->click();
  EXPECT_EQ(data.Table3.field_by_name("C2").as_text(), "Jazz");
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

}  // namespace
}  // namespace vemla
