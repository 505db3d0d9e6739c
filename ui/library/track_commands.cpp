#include "track_commands.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStatusBar>
#include <filesystem>
#include <memory>
#include <vector>

#include "add_dialog.h"
#include "data.h"
#include "error_box.h"
#include "file_drops.h"
#include "info_dialog.h"
#include "library_work.h"
#include "main_window.h"
#include "playlist_control.h"
#include "printable.h"
#include "rows.h"
#include "stop_playing.h"
#include "temporary_track.h"
#include "track_import.h"
#include "track_ops.h"
#include "track_undo.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

constexpr int kStatusTime = 8000;    // ms a result stays in the status bar
constexpr size_t kListedFiles = 20;  // a message names at most this many files, then counts the rest

// "heading", then a line per entry, at most kListedFiles of them.
// "1 track", "2 tracks": a count with its noun.
QString counted(qsizetype count, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

QString listing(const QString& heading, const QStringList& lines) {
  QString text = heading;
  for (qsizetype i = 0; i < lines.size() && i < static_cast<qsizetype>(kListedFiles); ++i)
    text += '\n' + lines[i];
  if (lines.size() > static_cast<qsizetype>(kListedFiles))
    text += QStringLiteral("\n... and %1 more").arg(lines.size() - static_cast<qsizetype>(kListedFiles));
  return text;
}

// A file name as one line of a listing, whatever it holds.
QString printable_path(const fs::path& file) {
  return QString::fromStdString(printable(file.string()));
}

// The name an export offers: the file the track came from, else its title.
QString export_name(Table& tracks) {
  const fs::path pad = get(tracks, TrackTable::pad);
  if (!pad.filename().empty()) return QFile::decodeName(QByteArray::fromStdString(pad.filename().string()));
  QString title = QString::fromStdString(get(tracks, TrackTable::title)).trimmed();
  title.replace(QLatin1Char('/'), QLatin1Char('_'));
  return (title.isEmpty() ? QStringLiteral("track") : title) + QStringLiteral(".mp3");
}

}  // namespace

// What the track table tells: another current row (Export follows it) and the library's closing (Undo Delete
// ends with it).
class TrackCommands::TableWatch final : public DataObserver {
 public:
  explicit TableWatch(TrackCommands& owner) : owner_(owner) {}
  void state_changed(DataSource& source) override {
    if (!source.table().is_open()) owner_.forget_deleted_track();
    owner_.update_export_item_soon();
  }
  void row_changed(DataSource&) override { owner_.update_export_item_soon(); }
  void field_changed(DataSource&, const Field&) override { owner_.update_export_item_soon(); }

 private:
  TrackCommands& owner_;
};

TrackCommands::TrackCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist,
                             TForm8& add, TForm4& info, LibraryWork& work, QObject* parent)
    : QObject(parent),
      form_(form),
      db_(db),
      player_(player),
      playlist_(playlist),
      add_(add),
      info_(info),
      work_(work),
      watch_(std::make_unique<TableWatch>(*this)),
      undo_folder_(temporary_track_path().parent_path()) {
  add.set_player_control(player);
  db_.data.attach(*watch_);
  connect(form.UndoDelete1, &QAction::triggered, this, &TrackCommands::UndoDelete1Click);
  connect(form.Import1, &QAction::triggered, this, &TrackCommands::Import1Click);
  connect(form.Export1, &QAction::triggered, this, &TrackCommands::Export1Click);
  connect(form.fix1, &QAction::triggered, this, &TrackCommands::fix1Click);
  connect(form.Delete2, &QAction::triggered, this, &TrackCommands::Delete2Click);
  connect(form.Info1, &QAction::triggered, this, &TrackCommands::Info1Click);
  connect(&work, &LibraryWork::running_changed, this, &TrackCommands::update_items);
  drops_ = new FileDropFilter(
      form, [](const DroppedFiles& dropped) { return !dropped.tracks.isEmpty(); },
      [this](const DroppedFiles& dropped) { import_paths(dropped.tracks); }, this);
  update_items();
}

TrackCommands::~TrackCommands() {
  db_.data.detach(*watch_);
  work_.abandon();
}

bool TrackCommands::library_open() const {
  return db_.Table1.is_open();
}

void TrackCommands::update_export_item() {
  bool audio = false;
  if (library_open() && !work_.running()) {
    try {
      audio = can_export(db_.Table1);
    } catch (const TableError&) {
      audio = false;  // a row that cannot be read has nothing to export
    }
  }
  form_.Export1->setEnabled(audio);
}

// Once per turn of the event loop however often the row moves: work on the table moves it at every row.
void TrackCommands::update_export_item_soon() {
  if (export_update_pending_) return;
  export_update_pending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        export_update_pending_ = false;
        update_export_item();
      },
      Qt::QueuedConnection);
}

// While work runs on the track table, nothing else may add, delete or fill its rows.
void TrackCommands::update_items() {
  const bool idle = !work_.running();
  for (QAction* item : {form_.Import1, form_.fix1, form_.Delete2}) item->setEnabled(idle);
  form_.UndoDelete1->setEnabled(idle && deleted_);
  form_.Info1->setEnabled(true);
  update_export_item();
}

void TrackCommands::Import1Click() {
  if (!library_open() || work_.running()) return;
  if (dialogs_.run(add_) == QDialog::Accepted) import_paths(add_.chosen_files(), add_.pass_known());
}

void TrackCommands::import_paths(const QStringList& paths, bool pass_known) {
  if (paths.isEmpty()) return;
  if (!library_open()) {
    tell_user(QStringLiteral("Open or create a database first, then add the files to it."),
              MessageIcon::Information);
    return;
  }
  if (work_.running()) {
    tell_user(
        QStringLiteral("The database is busy; add the files when the work in the status bar has ended."),
        MessageIcon::Information);
    return;
  }
  playlist_.ResetClick();
  stop_playing(player_);
  std::vector<fs::path> inputs;
  for (const QString& path : paths) inputs.push_back(local_path(path));
  std::unique_ptr<ImportJob> job;
  try {
    job = std::make_unique<ImportJob>(db_.Table1, inputs, false, pass_known);
  } catch (const TableError& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
    return;
  }
  ImportJob* import = job.get();
  // Each new track takes the playlist's slot of its position.
  auto seen = std::make_shared<size_t>(0);
  const auto stepped = [this, import, seen] {
    for (; *seen < import->outcomes().size(); ++*seen) {
      const ImportOutcome& outcome = import->outcomes()[*seen];
      if (outcome.added())
        playlist_.playlist().set_entry(static_cast<size_t>(outcome.record - 1), outcome.record);
    }
  };
  work_.start(std::move(job), QStringLiteral("Adding tracks"), nullptr,
              {stepped, [this, import] { import_ended(*import); }});
}

void TrackCommands::import_ended(const ImportJob& job) {
  if (library_open()) {
    try {
      db_.Table1.first();
    } catch (const TableError& error) {
      show_error(&form_, QString::fromUtf8(error.what()));
    }
    playlist_.ResetClick();
    playlist_.playlist().set_cursor(-1);
  }
  const std::vector<ImportOutcome> skipped = job.skipped();
  if (!job.error().empty()) {
    show_error(&form_, QStringLiteral("%1\n\n%2 added before the import stopped.")
                           .arg(QString::fromUtf8(job.error()),
                                counted(job.added(), "file was", "files were")));
  } else {
    const QString added = counted(job.added(), "track", "tracks");
    QString summary = job.cancelled() ? QStringLiteral("Adding cancelled: %1 added").arg(added)
                                      : QStringLiteral("%1 added").arg(added);
    if (job.known() > 0)
      summary += QStringLiteral(", %1 already in the database").arg(counted(job.known(), "file", "files"));
    if (!skipped.empty())
      summary += QStringLiteral(", %1 not added").arg(counted(std::ssize(skipped), "file", "files"));
    if (job.texts_cut() > 0)
      summary += QStringLiteral(", %1 cut to fit the database").arg(counted(job.texts_cut(), "text", "texts"));
    form_.RzStatusBar1->showMessage(summary, kStatusTime);
  }
  // Tracks added without the parts of their tags that were too large to read.
  QStringList cut;
  for (const ImportOutcome& outcome : job.outcomes()) {
    if (outcome.added() && !outcome.passed_over.empty())
      cut << printable_path(outcome.file) + QStringLiteral(": ") + QString::fromStdString(outcome.passed_over.front());
  }
  const QString cut_text =
      cut.isEmpty() ? QString()
                    : listing(QStringLiteral("These files were added, but parts of their tags were passed over:"), cut);
  if (skipped.empty()) {
    if (!cut.isEmpty()) tell_user(cut_text, MessageIcon::Information);
    return;
  }
  QStringList lines;
  for (const ImportOutcome& outcome : skipped)
    lines << printable_path(outcome.file) + QStringLiteral(": ") + QString::fromStdString(outcome.skipped);
  tell_user(listing(QStringLiteral("These files were not added:"), lines) +
                (cut.isEmpty() ? QString() : QStringLiteral("\n\n") + cut_text),
            MessageIcon::Warning);
}

void TrackCommands::Export1Click() {
  stop_playing(player_);
  if (!library_open()) return;
  try {
    if (!can_export(db_.Table1)) {
      update_export_item();
      return;
    }
    FileRequest request;
    request.title = QStringLiteral("Export track");
    request.folder = export_folder_.isEmpty() ? music_folder() : export_folder_;
    request.file = export_name(db_.Table1);
    request.save = true;
    request.help_context = 190;
    const QString path = dialogs_.choose_file(&form_, request);
    if (path.isEmpty()) return;
    export_track(db_.Table1, local_path(path));
    export_folder_ = QFileInfo(path).absolutePath();
    form_.RzStatusBar1->showMessage(QStringLiteral("Exported to %1").arg(QDir::toNativeSeparators(path)),
                                    kStatusTime);
  } catch (const std::exception& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
  }
}

void TrackCommands::fix1Click() {
  stop_playing(player_);
  if (!library_open() || work_.running()) return;
  const int record = db_.Table1.record_number();
  auto job = std::make_unique<FixJob>(db_.Table1);
  FixJob* fix = job.get();
  work_.start(std::move(job), QStringLiteral("Storing the audio"), nullptr,
              {nullptr, [this, fix, record] { fix_ended(*fix, record); }});
}

void TrackCommands::fix_ended(const FixJob& job, int record) {
  // The user's track is current again, wherever the work left the table.
  if (library_open()) {
    try {
      go_to_record(db_.Table1, record);
    } catch (const TableError& error) {
      show_error(&form_, QString::fromUtf8(error.what()));
    }
  }
  QStringList failed;
  for (const FixOutcome& outcome : job.outcomes()) {
    if (!outcome.failed.empty()) {
      failed << QStringLiteral("track %1, %2: %3")
                    .arg(outcome.record)
                    .arg(printable_path(outcome.file), QString::fromStdString(outcome.failed));
    }
  }
  if (!job.error().empty()) {
    show_error(&form_, QStringLiteral("%1\n\nThe audio of %2 was stored before the work stopped.")
                           .arg(QString::fromUtf8(job.error()), counted(job.filled(), "track", "tracks")));
  } else {
    QString summary = job.cancelled() ? QStringLiteral("Storing cancelled: the audio of %1 stored")
                                      : QStringLiteral("The audio of %1 stored");
    summary = summary.arg(counted(job.filled(), "track", "tracks"));
    if (!failed.isEmpty()) summary += QStringLiteral(", %1 not stored").arg(failed.size());
    form_.RzStatusBar1->showMessage(summary, kStatusTime);
  }
  if (!failed.isEmpty())
    tell_user(listing(QStringLiteral("The audio of these tracks was not stored:"), failed),
              MessageIcon::Warning);
}

void TrackCommands::Delete2Click() {
  if (!library_open() || work_.running()) return;
  if (db_.Table1.record_count() == 0) return;
  stop_playing(player_);
  std::unique_ptr<DeletedTrack> deleted;
  try {
    deleted = delete_track_keeping(db_.Table1, undo_folder_);
  } catch (const TableError& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
    return;
  }
  if (!deleted) return;
  const QString title = QString::fromStdString(deleted->title()).trimmed();
  form_.RzStatusBar1->showMessage(
      QStringLiteral("Deleted track %1%2: Track > Undo Delete (Ctrl+Z) takes it back")
          .arg(deleted->record())
          .arg(title.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(title)),
      kStatusTime);
  deleted_ = std::move(deleted);  // the one deleted before can no longer be taken back
  update_items();
  playlist_.ResetClick();
}

void TrackCommands::UndoDelete1Click() {
  if (!library_open() || work_.running() || !deleted_) return;
  stop_playing(player_);
  int record = 0;
  try {
    record = deleted_->restore(db_.Table1);
  } catch (const TableError& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
    return;
  }
  deleted_.reset();
  update_items();
  playlist_.ResetClick();
  try {
    go_to_record(db_.Table1, record);
  } catch (const TableError& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
  }
  form_.RzStatusBar1->showMessage(QStringLiteral("The deleted track is back, as track %1").arg(record),
                                  kStatusTime);
}

void TrackCommands::forget_deleted_track() {
  if (!deleted_) return;
  deleted_.reset();
  update_items();
}

void TrackCommands::Info1Click() {
  if (!library_open()) return;
  dialogs_.run(info_);
}

}  // namespace vemla
