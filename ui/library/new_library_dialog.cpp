#include "new_library_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "eliding_label.h"
#include "folder_lists.h"
#include "look.h"
#include "user_dialogs.h"

namespace vemla {

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm5"));
  setWindowTitle(QStringLiteral("New"));
  help_context(this, 460);

  Label1 = named(new QLabel(QStringLiteral("Please choose a location and name for the new database:"), this),
                 "Label1");
  Label1->setWordWrap(true);
  DriveComboBox1 = named(new DriveComboBox(this), "DriveComboBox1");
  DriveComboBox1->setAccessibleName(QStringLiteral("Place"));
  DirectoryListBox1 = named(new DirectoryListBox(this), "DirectoryListBox1");
  DirectoryListBox1->setAccessibleName(QStringLiteral("Folder"));
  Label2 = named(new ElidingLabel(this), "Label2");
  Label2->setAccessibleName(QStringLiteral("Chosen folder"));
  Label3 = named(new QLabel(QStringLiteral("Database Name:"), this), "Label3");
  Edit1 = named(new QLineEdit(this), "Edit1");
  Edit1->setAccessibleName(QStringLiteral("Database Name"));
  Label3->setBuddy(Edit1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  BitBtn2 = named(buttons->button(QDialogButtonBox::Ok), "BitBtn2");
  BitBtn1 = named(buttons->button(QDialogButtonBox::Cancel), "BitBtn1");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* name = new QHBoxLayout;
  name->addWidget(Label3);
  name->addWidget(Edit1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(DriveComboBox1);
  layout->addWidget(Label2);
  layout->addWidget(DirectoryListBox1, 1);
  layout->addLayout(name);
  layout->addWidget(buttons);
  setTabOrder(Edit1, DriveComboBox1);
  setTabOrder(DriveComboBox1, DirectoryListBox1);
  resize(QSize(420, 400).expandedTo(minimumSizeHint()));

  connect(DriveComboBox1, &DriveComboBox::place_chosen, this, &TForm5::DriveComboBox1Click);
  connect(DirectoryListBox1, &DirectoryListBox::folder_chosen, this, &TForm5::DirectoryListBox1Click);
  connect(Edit1, &QLineEdit::textChanged, this, &TForm5::update_ok);
  update_ok();
}

TForm5::~TForm5() = default;

QString TForm5::folder() const {
  return DirectoryListBox1->folder();
}

QString TForm5::base_name() const {
  QString name = Edit1->text().trimmed();
  for (const QLatin1String extension : {QLatin1String(".mb"), QLatin1String(".db")}) {
    if (name.size() > extension.size() && name.endsWith(extension, Qt::CaseInsensitive))
      name.chop(extension.size());
  }
  return name;
}

void TForm5::DriveComboBox1Click() {
  DirectoryListBox1->set_folder(DriveComboBox1->place());
}

void TForm5::DirectoryListBox1Click() {
  const QString chosen = folder();
  Label2->setText(QDir::toNativeSeparators(chosen));
  Label2->setToolTip(QDir::toNativeSeparators(chosen));
  DriveComboBox1->show_place_of(chosen);
  update_ok();
}

void TForm5::showEvent(QShowEvent* event) {
  // The folders are listed when first needed, not when the program starts.
  if (!listed_) {
    listed_ = true;
    DirectoryListBox1->set_folder(default_library_folder());
  }
  Edit1->clear();
  Edit1->setFocus();
  QDialog::showEvent(event);
}

void TForm5::update_ok() {
  BitBtn2->setEnabled(!base_name().isEmpty() && !folder().isEmpty());
}

}  // namespace vemla
