#include "move_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "eliding_label.h"
#include "folder_lists.h"
#include "look.h"
#include "user_dialogs.h"

namespace vemla {

namespace {

ElidingLabel* path_label(QWidget* parent, const char* name, const QString& accessible) {
  auto* label = named(new ElidingLabel(parent), name);
  label->setAccessibleName(accessible);
  return label;
}

void show_path(ElidingLabel* label, const QString& path) {
  label->setText(QDir::toNativeSeparators(path));
  label->setToolTip(label->text());
}

}  // namespace

TForm6::TForm6(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm6"));
  setWindowTitle(QStringLiteral("Copy/Move"));
  help_context(this, 80);

  RzLabel1 =
      named(new QLabel(QStringLiteral("- First choose a database in the left window"), this), "RzLabel1");
  RzLabel2 =
      named(new QLabel(QStringLiteral("- Secondly choose a destination directory in de right window"), this),
            "RzLabel2");
  RzLabel5 =
      named(new QLabel(QStringLiteral("- After clicking OK, be patient, it can take some time to complete "
                                      "the action......"),
                       this),
            "RzLabel5");
  RzLabel5->setWordWrap(true);
  Label5 = named(new QLabel(QStringLiteral("Database:"), this), "Label5");
  Label6 = path_label(this, "Label6", QStringLiteral("Database"));

  RzLabel3 = named(new QLabel(QStringLiteral("Source:"), this), "RzLabel3");
  Label3 = path_label(this, "Label3", QStringLiteral("Source folder"));
  DriveComboBox1 = named(new DriveComboBox(this), "DriveComboBox1");
  DirectoryListBox1 = named(new DirectoryListBox(this), "DirectoryListBox1");
  FileListBox1 = named(new FileListBox(QStringLiteral("*.mb"), false, this), "FileListBox1");
  hint(DriveComboBox1, QStringLiteral("Source diskdrive"));
  hint(DirectoryListBox1, QStringLiteral("Source directory"));
  hint(FileListBox1, QStringLiteral("Source database"));

  RzLabel4 = named(new QLabel(QStringLiteral("Destination"), this), "RzLabel4");
  Label4 = path_label(this, "Label4", QStringLiteral("Destination folder"));
  DriveComboBox2 = named(new DriveComboBox(this), "DriveComboBox2");
  DirectoryListBox2 = named(new DirectoryListBox(this), "DirectoryListBox2");
  hint(DriveComboBox2, QStringLiteral("Destination diskdrive"));
  hint(DirectoryListBox2, QStringLiteral("Destination directory"));
  for (QWidget* control : {static_cast<QWidget*>(DriveComboBox1), static_cast<QWidget*>(DirectoryListBox1),
                           static_cast<QWidget*>(FileListBox1), static_cast<QWidget*>(DriveComboBox2),
                           static_cast<QWidget*>(DirectoryListBox2)})
    control->setAccessibleName(control->toolTip());

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  BitBtn1 = named(buttons->button(QDialogButtonBox::Ok), "BitBtn1");
  BitBtn2 = named(buttons->button(QDialogButtonBox::Cancel), "BitBtn2");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* database = new QHBoxLayout;
  database->addWidget(Label5);
  database->addWidget(Label6, 1);
  auto* columns = new QGridLayout;
  columns->setColumnStretch(0, 1);
  columns->setColumnStretch(1, 1);
  const auto caption = [](QLabel* label, ElidingLabel* path) {
    auto* line = new QHBoxLayout;
    line->addWidget(label);
    line->addWidget(path, 1);
    return line;
  };
  columns->addLayout(caption(RzLabel3, Label3), 0, 0);
  columns->addWidget(DriveComboBox1, 1, 0);
  columns->addWidget(DirectoryListBox1, 2, 0);
  columns->addWidget(FileListBox1, 3, 0);
  columns->addLayout(caption(RzLabel4, Label4), 0, 1);
  columns->addWidget(DriveComboBox2, 1, 1);
  columns->addWidget(DirectoryListBox2, 2, 1, 2, 1);
  columns->setRowStretch(2, 3);
  columns->setRowStretch(3, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(RzLabel1);
  layout->addWidget(RzLabel2);
  layout->addWidget(RzLabel5);
  layout->addLayout(database);
  layout->addLayout(columns, 1);
  layout->addWidget(buttons);
  resize(QSize(600, 460).expandedTo(minimumSizeHint()));

  connect(FileListBox1, &FileListBox::marks_changed, this, &TForm6::FileListBox1Click);
  connect(DirectoryListBox1, &DirectoryListBox::folder_chosen, this, &TForm6::DirectoryListBox1Click);
  connect(DirectoryListBox2, &DirectoryListBox::folder_chosen, this, &TForm6::DirectoryListBox2Click);
  connect(DriveComboBox1, &DriveComboBox::place_chosen, this, &TForm6::DriveComboBox1Click);
  connect(DriveComboBox2, &DriveComboBox::place_chosen, this, &TForm6::DriveComboBox2Click);
  prepare(false);
}

TForm6::~TForm6() = default;

void TForm6::prepare(bool move) {
  database_.clear();
  show_path(Label6, QString());
  setWindowTitle(move ? QStringLiteral("Move a database") : QStringLiteral("Copy a database"));
  FileListBox1->clearSelection();
  set_destination_enabled(false);
}

QString TForm6::destination() const {
  return DirectoryListBox2->folder();
}

void TForm6::FileListBox1Click() {
  const QString file = FileListBox1->file_name();
  if (file.isEmpty()) return;  // a mark taken away (or a new listing) keeps the library chosen last
  database_ = file;
  show_path(Label6, file);
  set_destination_enabled(true);
}

void TForm6::DirectoryListBox1Click() {
  const QString folder = DirectoryListBox1->folder();
  show_path(Label3, folder);
  DriveComboBox1->show_place_of(folder);
  FileListBox1->set_folder(folder);
}

void TForm6::DirectoryListBox2Click() {
  const QString folder = DirectoryListBox2->folder();
  show_path(Label4, folder);
  DriveComboBox2->show_place_of(folder);
  BitBtn1->setEnabled(destination_on_ && !folder.isEmpty());
}

void TForm6::DriveComboBox1Click() {
  DirectoryListBox1->set_folder(DriveComboBox1->place());
}

void TForm6::DriveComboBox2Click() {
  DirectoryListBox2->set_folder(DriveComboBox2->place());
}

void TForm6::showEvent(QShowEvent* event) {
  if (!listed_) {
    listed_ = true;
    DirectoryListBox1->set_folder(default_library_folder());
    DirectoryListBox2->set_folder(QDir::homePath());
  }
  FileListBox1->setFocus();  // the first choice is the library
  QDialog::showEvent(event);
}

void TForm6::set_destination_enabled(bool on) {
  destination_on_ = on;
  DriveComboBox2->setEnabled(on);
  DirectoryListBox2->setEnabled(on);
  BitBtn1->setEnabled(on && !destination().isEmpty());
}

}  // namespace vemla
