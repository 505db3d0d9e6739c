#include "category_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "data.h"
#include "data_controls.h"
#include "error_box.h"
#include "look.h"

namespace vemla {

namespace {

constexpr int kRows = 16;
constexpr int kColumns = 4;
constexpr int kNameWidth = 40;  // characters of a category name (the column's width)

}  // namespace

TForm3::TForm3(Tdb& db, QWidget* parent) : QDialog(parent), db_(db) {
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("Categories"));
  help_context(this, 70);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(15);
  grid->setVerticalSpacing(3);
  for (int k = 1; k <= kRows * kColumns; ++k) {
    const QByteArray name = "RzDBLineEdit" + QByteArray::number(k);
    auto* edit = named(new DBLineEdit(this), name.constData());
    edit->bind(db_.categories, CategoryTable::name(k));
    // What is typed is what is kept: the edit holds no more than the column does.
    edit->setMaxLength(kNameWidth);
    edit->setPlaceholderText(QStringLiteral("Category %1").arg(k));
    edit->setAccessibleName(QStringLiteral("Category %1").arg(k));
    hint(edit, QStringLiteral("Enter the category"));
    edit->setMinimumWidth(121);
    grid->addWidget(edit, (k - 1) % kRows, (k - 1) / kRows);
    edits_[static_cast<size_t>(k - 1)] = edit;
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  BitBtn1 = named(buttons->button(QDialogButtonBox::Ok), "BitBtn1");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 8, 16, 12);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

TForm3::~TForm3() = default;

void TForm3::FormClose() {
  Table& categories = db_.Table3;
  try {
    if (categories.is_open()) categories.post();
  } catch (const TableError& error) {
    show_error(this, QString::fromUtf8(error.what()));
  }
}

void TForm3::done(int result) {
  FormClose();
  QDialog::done(result);
}

}  // namespace vemla
