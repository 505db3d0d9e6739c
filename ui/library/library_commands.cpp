#include "library_commands.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QSlider>
#include <QStatusBar>
#include <QToolButton>
#include <memory>

#include "data.h"
#include "data_controls.h"
#include "error_box.h"
#include "file_drops.h"
#include "library_copy.h"
#include "library_trash.h"
#include "library_work.h"
#include "main_window.h"
#include "move_dialog.h"
#include "new_library_dialog.h"
#include "playlist_control.h"
#include "please_window.h"
#include "stop_playing.h"
#include "track_ops.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

QString text_of(const TableError& error) {
  return QString::fromUtf8(error.what());
}

constexpr int kStatusTime = 8000;  // ms a result stays in the status bar

}  // namespace

LibraryCommands::LibraryCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist,
                                 TForm5& new_dialog, TForm6& move_dialog, TForm7& please, LibraryWork& work,
                                 QObject* parent)
    : QObject(parent),
      form_(form),
      db_(db),
      player_(player),
      playlist_(playlist),
      new_dialog_(new_dialog),
      move_dialog_(move_dialog),
      please_(please),
      work_(work) {
  connect(form.New1, &QAction::triggered, this, &LibraryCommands::New1Click);
  connect(form.Open1, &QAction::triggered, this, &LibraryCommands::Open1Click);
  connect(form.Move1, &QAction::triggered, this, &LibraryCommands::Move1Click);
  connect(form.Copy1, &QAction::triggered, this, &LibraryCommands::Copy1Click);
  connect(form.Delete1, &QAction::triggered, this, &LibraryCommands::Delete1Click);
  connect(&work, &LibraryWork::running_changed, this, &LibraryCommands::update_items);
  drops_ = new FileDropFilter(
      form, [](const DroppedFiles& dropped) { return !dropped.library.isEmpty(); },
      [this](const DroppedFiles& dropped) { open_library_file(dropped.library); }, this);
  update_items();
}

LibraryCommands::~LibraryCommands() {
  work_.abandon();
}

bool LibraryCommands::open_library_file(const QString& path) {
  if (path.isEmpty()) return false;
  if (work_.running()) {
    tell_user(QStringLiteral("The database is busy; open %1 when the work in the status bar has ended.")
                  .arg(QDir::toNativeSeparators(path)),
              MessageIcon::Information);
    return false;
  }
  const LibraryPath library = split_library_path(local_path(QFileInfo(path).absoluteFilePath()));
  // A name that is no library (mistyped, moved, an audio file) leaves the library in use open and playing.
  if (!library_exists(library)) {
    QString text = QStringLiteral("%1 cannot be opened: there is no database %2 (its track table %3 is missing).")
                       .arg(QDir::toNativeSeparators(path), shown_path(library.store()),
                            shown_path(library.tracks()));
    if (open_) text += QStringLiteral("\n\nThe database %1 stays open.").arg(shown_path(open_->store()));
    show_error(&form_, text);
    return false;
  }
  return open_library(library);
}

QString LibraryCommands::open_library_path() const {
  return open_ ? QFile::decodeName(QByteArray::fromStdString(open_->store().string())) : QString();
}

void LibraryCommands::New1Click() {
  if (work_.running()) return;
  if (dialogs_.run(new_dialog_) != QDialog::Accepted) return;
  const QString base = new_dialog_.base_name();
  const QString folder = new_dialog_.folder();
  if (base.isEmpty() || folder.isEmpty()) return;
  const LibraryPath library{local_path(folder), local_path(base).string()};
  try {
    check_new_library_name(library);
  } catch (const TableError& error) {
    show_error(&form_, text_of(error));
    return;
  }
  // A library of that name is never replaced: nothing changes, and the one open stays open.
  if (library_exists(library)) {
    form_.RzStatusBar1->showMessage(
        QStringLiteral("%1 exists already: nothing was changed")
            .arg(shown_path(library.store().filename())),
        kStatusTime);
    return;
  }
  stop_playing(player_);
  try {
    if (create_library(db_, library) != CreateResult::Created) return;
  } catch (const TableError& error) {
    if (!db_.Table1.is_open()) {
      open_.reset();
      set_library_controls(false);
      emit library_changed();
    }
    show_error(&form_, text_of(error));
    return;
  }
  show_opened(library);
}

void LibraryCommands::Open1Click() {
  if (work_.running()) return;
  stop_playing(player_);
  FileRequest request;
  request.title = QStringLiteral("Open a Database");
  request.filter = QStringLiteral("MPEG database (*.mb)");
  request.folder = default_library_folder();
  request.help_context = 80;
  const QString path = dialogs_.choose_file(&form_, request);
  if (!path.isEmpty()) open_library_file(path);
}

void LibraryCommands::Move1Click() {
  copy_or_move(CopyKind::Move);
}

void LibraryCommands::Copy1Click() {
  copy_or_move(CopyKind::Copy);
}

void LibraryCommands::Delete1Click() {
  if (work_.running()) return;
  close_for_work();
  FileRequest request;
  request.title = QStringLiteral("Delete a Database");
  request.filter = QStringLiteral("MPEG database (*.mb)");
  request.folder = default_library_folder();
  request.help_context = 80;
  request.accept_label = QStringLiteral("Delete");
  const QString path = dialogs_.choose_file(&form_, request);
  if (path.isEmpty()) return;
  set_library_controls(false);
  const LibraryPath library = split_library_path(local_path(QFileInfo(path).absoluteFilePath()));
  try {
    // To the desktop's trash, from where the user can bring it back; deleted for good only when the user
    // says so, where there is no trash for its folder.
    const TrashResult trashed = move_library_to_trash(library);
    if (trashed.done) {
      form_.RzStatusBar1->showMessage(
          QStringLiteral("Moved %1 to the trash").arg(shown_path(library.store())), kStatusTime);
    } else if (dialogs_.confirm(&form_, QStringLiteral("The database %1 cannot be moved to the trash: %2.\n\n"
                                                       "Delete it for good?")
                                            .arg(shown_path(library.store()), trashed.reason))) {
      delete_library(library);
      form_.RzStatusBar1->showMessage(QStringLiteral("Deleted %1").arg(shown_path(library.store())),
                                      kStatusTime);
    }
  } catch (const TableError& error) {
    show_error(&form_, text_of(error));
  }
  playlist_.ResetClick();
}

void LibraryCommands::set_library_controls(bool on) {
  controls_on_ = on;
  TForm1& f = form_;
  for (QWidget* control :
       {static_cast<QWidget*>(f.GroupBox1), static_cast<QWidget*>(f.GroupBox2),
        static_cast<QWidget*>(f.GroupBox3), static_cast<QWidget*>(f.Play), static_cast<QWidget*>(f.Pause),
        static_cast<QWidget*>(f.Stop), static_cast<QWidget*>(f.Prior), static_cast<QWidget*>(f.Next),
        static_cast<QWidget*>(f.RzTrackBar1), static_cast<QWidget*>(f.CheckBox2),
        static_cast<QWidget*>(f.Arrange)})
    control->setEnabled(on);
  // The data-aware controls also follow their tables: enabled while open, the check boxes while writable.
  const std::pair<QWidget*, ColumnBinding*> bound[] = {
      {f.DBCheckBox1, &f.DBCheckBox1->binding()},     {f.DBCheckBox2, &f.DBCheckBox2->binding()},
      {f.DBCheckBox3, &f.DBCheckBox3->binding()},     {f.RzDBLineEdit1, &f.RzDBLineEdit1->binding()},
      {f.RzDBLineEdit2, &f.RzDBLineEdit2->binding()}, {f.RzDBLineEdit3, &f.RzDBLineEdit3->binding()}};
  for (const auto& [control, binding] : bound) {
    if (on) {
      binding->update();
    } else {
      control->setEnabled(false);
    }
  }
  f.Category1->setEnabled(on);
  f.MPEG1->setEnabled(on);
  f.MPEG1->menuAction()->setEnabled(on);
  f.Memo1->setEnabled(on);
  update_items();
}

bool LibraryCommands::open_library(const LibraryPath& library) {
  // Another library is tried before the open one is given up for it: one that cannot be opened leaves the
  // open one as it was, playing on. (The open one itself would be found in use by this very program.)
  std::error_code same_error;
  if (open_ && !fs::equivalent(open_->tracks(), library.tracks(), same_error)) {
    try {
      check_library_opens(library);
    } catch (const TableError& error) {
      show_error(&form_, QStringLiteral("The database %1 cannot be opened: %2\n\nThe database %3 stays open.")
                             .arg(shown_path(library.store()), text_of(error), shown_path(open_->store())));
      return false;
    }
  }
  stop_playing(player_);
  try {
    vemla::open_library(db_, library);
  } catch (const TableError& error) {
    // Half a library is no library: what was opened closes again, and the user learns why.
    try {
      close_library(db_);
    } catch (const TableError&) {
      // The first error is the one to report.
    }
    open_.reset();
    set_library_controls(false);
    playlist_.ResetClick();
    emit library_changed();
    show_error(&form_, QStringLiteral("The database %1 cannot be opened: %2")
                           .arg(shown_path(library.store()), text_of(error)));
    return false;
  }
  show_opened(library);
  if (db_.Table1.files_read_only() || db_.Table3.files_read_only()) {
    form_.RzStatusBar1->showMessage(QStringLiteral("Opened read-only: its files cannot be written"), kStatusTime);
  }
  if (db_.Table2.is_open()) {
    try {
      sync_storage(db_.Table1, db_.Table2);
    } catch (const TableError& error) {
      show_error(&form_, text_of(error));
    }
  }
  return true;
}

void LibraryCommands::show_opened(const LibraryPath& library) {
  open_ = library;
  form_.RzStatusBar1->clearMessage();  // "No database open" or the word on the last one
  form_.RzTrackBar1->setMaximum(db_.Table1.record_count());
  form_.RzTrackBar1->setValue(0);
  playlist_.refresh_category_captions();
  playlist_.ResetClick();
  set_library_controls(true);
  emit library_changed();
}

void LibraryCommands::close_for_work() {
  set_library_controls(false);
  stop_playing(player_);
  try {
    close_library(db_);
  } catch (const TableError& error) {
    show_error(&form_, text_of(error));
    try {
      close_library(db_);
    } catch (const TableError&) {
      // Shown once.
    }
  }
  if (db_.Table2.is_open()) {
    try {
      db_.Table2.refresh();
    } catch (const TableError& error) {
      show_error(&form_, text_of(error));
    }
  }
  // The closed library's playlist goes with it; it stayed in the window.
  playlist_.ResetClick();
  if (open_) {
    open_.reset();
    emit library_changed();
  }
}

void LibraryCommands::copy_or_move(CopyKind kind) {
  if (work_.running()) return;
  close_for_work();
  const bool move = kind == CopyKind::Move;
  move_dialog_.prepare(move);
  if (dialogs_.run(move_dialog_) != QDialog::Accepted) return;
  const QString file = move_dialog_.database();
  const QString destination = move_dialog_.destination();
  if (file.isEmpty() || destination.isEmpty()) return;
  const LibraryPath source = split_library_path(local_path(file));
  const LibraryPath target{local_path(destination), source.base};

  // A library of the same name in the destination is replaced only when the user says so. The job is made
  // first, so that every refusal (a name clash, a library in use, a folder that cannot be written) comes
  // before the question; one not started copies nothing and replaces nothing.
  std::error_code error;
  const bool occupied = !fs::equivalent(source.folder, target.folder, error) &&
                        (fs::exists(target.tracks(), error) || fs::exists(target.store(), error) ||
                         fs::exists(target.categories(), error));
  std::unique_ptr<CopyJob> job;
  try {
    job = std::make_unique<CopyJob>(source, target.folder, kind, occupied);
  } catch (const TableError& refused) {
    show_error(&form_, text_of(refused));
    return;
  }
  if (occupied) {
    const QString question = QStringLiteral("There is a database %1 in %2 already.\n\nReplace it?")
                                 .arg(QString::fromStdString(source.base), shown_path(target.folder));
    if (!dialogs_.confirm(&form_, question)) return;
  }
  CopyJob* copy = job.get();
  const QString name = QString::fromStdString(source.base);
  work_.start(
      std::move(job), (move ? QStringLiteral("Moving %1") : QStringLiteral("Copying %1")).arg(name), &please_,
      {nullptr, [this, copy, move, target] {
         if (!copy->error().empty()) {
           show_error(&form_, QString::fromUtf8(copy->error()));
         } else if (copy->cancelled()) {
           form_.RzStatusBar1->showMessage(move ? QStringLiteral("Move cancelled: nothing was changed")
                                                : QStringLiteral("Copy cancelled: nothing was changed"),
                                           kStatusTime);
         } else {
           form_.RzStatusBar1->showMessage(QStringLiteral("%1 to %2")
                                               .arg(move ? QStringLiteral("Moved") : QStringLiteral("Copied"),
                                                    shown_path(target.store())),
                                           kStatusTime);
         }
       }});
}

void LibraryCommands::update_items() {
  const bool idle = !work_.running();
  form_.Open1->setEnabled(idle);
  form_.New1->setEnabled(idle);
  for (QAction* item : {form_.Move1, form_.Copy1, form_.Delete1}) item->setEnabled(idle && controls_on_);
}

}  // namespace vemla
