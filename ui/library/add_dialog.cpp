#include "add_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

#include "data.h"
#include "error_box.h"
#include "folder_lists.h"
#include "header.h"
#include "look.h"
#include "shell.h"
#include "stop_playing.h"
#include "track_facts.h"
#include "track_import.h"
#include "user_dialogs.h"

namespace vemla {

namespace {

// Kept with the window's geometry: the folder added from last, and whether subfolders were included.
constexpr const char* kFolderKey = "AddFolder";
constexpr const char* kSubfoldersKey = "AddSubfolders";

QSettings kept_settings() {
  return QSettings(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication));
}

QToolButton* speed_button(QWidget* parent, const char* name, const QString& caption, const QIcon& icon,
                          const QString& hint_text) {
  auto* button = named(new QToolButton(parent), name);
  button->setText(caption);
  button->setIcon(icon);
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAccessibleName(caption);
  button->setFocusPolicy(Qt::StrongFocus);
  hint(button, hint_text);
  return button;
}

}  // namespace

TForm8::TForm8(Tdb& db, QWidget* parent) : QDialog(parent), db_(db) {
  setObjectName(QStringLiteral("TForm8"));
  setWindowTitle(QStringLiteral("Add to Base"));
  help_context(this, 180);

  DriveComboBox1 = named(new DriveComboBox(this), "DriveComboBox1");
  DriveComboBox1->setAccessibleName(QStringLiteral("Place"));
  DirectoryListBox1 = named(new DirectoryListBox(this), "DirectoryListBox1");
  hint(DirectoryListBox1, QStringLiteral("Choose the directory"));
  DirectoryListBox1->setAccessibleName(QStringLiteral("Choose the directory"));
  FileListBox1 = named(new FileListBox(QStringLiteral("*.mp3;*.mp2"), true, this), "FileListBox1");
  hint(FileListBox1, QStringLiteral("Choose MPEG-files to add"));
  FileListBox1->setAccessibleName(QStringLiteral("Choose MPEG-files to add"));

  SpeedButton1 = speed_button(this, "SpeedButton1", QStringLiteral("Add"),
                              theme_icon("list-add", QStyle::SP_DialogOkButton),
                              QStringLiteral("Add the marked files to the database"));
  SpeedButton2 = speed_button(this, "SpeedButton2", QStringLiteral("Play"),
                              theme_icon("media-playback-start", QStyle::SP_MediaPlay),
                              QStringLiteral("Play or Stop playing the marked file"));
  Label2 = named(new QLabel(QStringLiteral("TrackLength:"), this), "Label2");
  Label1 = named(new QLabel(QStringLiteral("0:00:00"), this), "Label1");
  Label1->setAccessibleName(QStringLiteral("TrackLength"));
  Label1->setMinimumWidth(Label1->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 4);
  Subfolders = named(new QCheckBox(QStringLiteral("Include &subfolders"), this), "Subfolders");
  hint(Subfolders, QStringLiteral("Add every MPEG file of the folder and of the folders in it"));
  Subfolders->setAccessibleName(QStringLiteral("Include subfolders"));
  Subfolders->setChecked(kept_settings().value(QLatin1String(kSubfoldersKey), false).toBool());
  AddAgain = named(new QCheckBox(QStringLiteral("Add files already in the database a&gain"), this), "AddAgain");
  hint(AddAgain, QStringLiteral("Files whose path the database holds are otherwise passed over"));
  AddAgain->setAccessibleName(QStringLiteral("Add files already in the database again"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  BitBtn1 = named(buttons->button(QDialogButtonBox::Close), "BitBtn1");
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* folders = new QVBoxLayout;
  folders->addWidget(DriveComboBox1);
  folders->addWidget(DirectoryListBox1, 1);
  auto* lists = new QHBoxLayout;
  lists->addLayout(folders, 1);
  lists->addWidget(FileListBox1, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(SpeedButton2);
  bottom->addSpacing(6);
  bottom->addWidget(Label2);
  bottom->addWidget(Label1);
  bottom->addStretch();
  bottom->addWidget(SpeedButton1);
  bottom->addSpacing(12);
  bottom->addWidget(buttons);
  auto* choices = new QHBoxLayout;
  choices->addWidget(Subfolders);
  choices->addSpacing(12);
  choices->addWidget(AddAgain);
  choices->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists, 1);
  layout->addLayout(choices);
  layout->addLayout(bottom);
  setTabOrder(DriveComboBox1, DirectoryListBox1);
  setTabOrder(DirectoryListBox1, FileListBox1);
  setTabOrder(FileListBox1, Subfolders);
  setTabOrder(Subfolders, AddAgain);
  setTabOrder(AddAgain, SpeedButton2);
  setTabOrder(SpeedButton2, SpeedButton1);
  setTabOrder(SpeedButton1, BitBtn1);
  resize(QSize(580, 380).expandedTo(minimumSizeHint()));

  connect(DriveComboBox1, &DriveComboBox::place_chosen, this, &TForm8::DriveComboBox1Click);
  connect(DirectoryListBox1, &DirectoryListBox::folder_chosen, this, &TForm8::DirectoryListBox1Click);
  connect(FileListBox1, &FileListBox::marks_changed, this, &TForm8::FileListBox1Click);
  connect(SpeedButton1, &QToolButton::clicked, this, &TForm8::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &TForm8::SpeedButton2Click);
  connect(Subfolders, &QCheckBox::toggled, this, &TForm8::update_add);
  preview_watch_.setInterval(100);
  connect(&preview_watch_, &QTimer::timeout, this, &TForm8::watch_preview);
  set_buttons(false);
}

TForm8::~TForm8() = default;

void TForm8::set_player_control(PlayerControl& player) {
  player_ = &player;
}

void TForm8::showEvent(QShowEvent* event) {
  if (!listed_) {
    listed_ = true;
    const QString last = kept_settings().value(QLatin1String(kFolderKey)).toString();
    DirectoryListBox1->set_folder(!last.isEmpty() && QFileInfo(last).isDir() ? last : music_folder());
  }
  FormActivate();
  FileListBox1->setFocus();  // the files are marked there; the folder is usually the right one already
  QDialog::showEvent(event);
}

// A preview belongs to the dialog: it ends when the dialog closes, so that the main window never shows a
// run it did not start.
void TForm8::hideEvent(QHideEvent* event) {
  if (previewing_) stop_preview();
  QDialog::hideEvent(event);
}

// Enter adds the marked files, or presses the focused tool button. Left to the dialog, it pressed Close, its
// one push button, and the files marked in the list were not added.
void TForm8::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
    QDialog::keyPressEvent(event);
    return;
  }
  if (auto* button = qobject_cast<QToolButton*>(focusWidget())) {
    if (button->isEnabled()) button->click();
  } else if (SpeedButton1->isEnabled()) {
    SpeedButton1Click();
  }
}

void TForm8::FormActivate() {
  chosen_.clear();
  FileListBox1->clearSelection();
  set_buttons(false);
  // Tracks added here keep their audio on disk; the user's storage option stays as it is.
  if (player_) stop_playing(*player_);
  end_preview();
}

void TForm8::FileListBox1Click() {
  set_buttons(FileListBox1->marked_count() > 0);
}

void TForm8::DirectoryListBox1Click() {
  const QString folder = DirectoryListBox1->folder();
  DriveComboBox1->show_place_of(folder);
  FileListBox1->set_folder(folder);
  set_buttons(false);
}

void TForm8::DriveComboBox1Click() {
  DirectoryListBox1->set_folder(DriveComboBox1->place());
  set_buttons(false);
}

void TForm8::SpeedButton1Click() {
  const QString folder = FileListBox1->folder();
  if (Subfolders->isChecked()) {
    chosen_ = folder.isEmpty() ? QStringList() : QStringList{folder};
  } else {
    chosen_ = FileListBox1->marked_paths();
  }
  if (chosen_.isEmpty()) return;
  if (previewing_) stop_preview();
  QSettings settings = kept_settings();
  settings.setValue(QLatin1String(kFolderKey), folder);
  settings.setValue(QLatin1String(kSubfoldersKey), Subfolders->isChecked());
  accept();
}

bool TForm8::pass_known() const {
  return !AddAgain->isChecked();
}

void TForm8::update_add() {
  const bool marked = FileListBox1->marked_count() > 0;
  SpeedButton1->setEnabled(marked || (Subfolders->isChecked() && !FileListBox1->folder().isEmpty()));
  hint(SpeedButton1, Subfolders->isChecked() ? QStringLiteral("Add every MPEG file of this folder and its subfolders")
                                             : QStringLiteral("Add the marked files to the database"));
}

void TForm8::SpeedButton2Click() {
  if (!player_) return;
  if (previewing_) {
    stop_preview();
    return;
  }
  const QString file = FileListBox1->file_name();
  if (file.isEmpty()) return;
  Player& player = player_->player();
  stop_playing(*player_);
  player.track_file_name = QFile::encodeName(file).toStdString();
  // Asked before the run opens, so that the user reads one message with the file's name and the reason.
  const std::string why = why_not_playable(player.track_file_name);
  if (!why.empty() || !player.open_run()) {
    player.close_run();
    show_error(this, QStringLiteral("%1 cannot be played or added: %2.")
                         .arg(QFileInfo(file).fileName(),
                              QString::fromStdString(why.empty() ? "no MPEG audio frame header found" : why)));
    return;
  }
  const int64_t seconds = static_cast<int64_t>(player.header()->total_duration_ms(*player.stream())) / 1000;
  Label1->setText(QString::fromStdString(time_text(seconds)));
  previewing_ = true;
  preview_file_ = player.track_file_name;
  player.start_run();
  SpeedButton2->setText(QStringLiteral("Stop"));
  SpeedButton2->setIcon(theme_icon("media-playback-stop", QStyle::SP_MediaStop));
  preview_watch_.start();
}

void TForm8::set_buttons(bool on) {
  SpeedButton2->setEnabled(on || previewing_);
  update_add();
}

void TForm8::stop_preview() {
  const bool ours = previewing_;
  end_preview();
  if (ours && player_) stop_playing(*player_);
}

void TForm8::end_preview() {
  previewing_ = false;
  preview_watch_.stop();
  SpeedButton2->setText(QStringLiteral("Play"));
  SpeedButton2->setIcon(theme_icon("media-playback-start", QStyle::SP_MediaPlay));
  set_buttons(FileListBox1->marked_count() > 0);
}

// A preview played to its end shows "Play" again; so does one whose run someone else has replaced (which
// is then left alone).
void TForm8::watch_preview() {
  if (!previewing_ || !player_) return;
  const Player& player = player_->player();
  const bool ours = player.run_open() && player.track_file_name == preview_file_;
  if (ours && !player.done() && !player.thread_finished()) return;
  if (ours) {
    stop_preview();
  } else {
    end_preview();
  }
}

}  // namespace vemla
