#include "selection_commands.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "data.h"
#include "error_box.h"
#include "library_work.h"
#include "main_window.h"
#include "playlist_control.h"
#include "rows.h"
#include "stop_playing.h"
#include "track_list.h"
#include "track_list_control.h"
#include "track_ops.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

constexpr int kStatusTime = 8000;  // ms a result stays in the status bar

QString counted(qsizetype count, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

// The name a track's export takes: its file's, else its title's; numbered where the folder has it already.
fs::path free_name(Table& tracks, const fs::path& folder) {
  fs::path name = fs::path(get(tracks, TrackTable::pad)).filename();
  if (name.empty()) {
    std::string title = get(tracks, TrackTable::title);
    std::replace(title.begin(), title.end(), '/', '_');
    name = (title.empty() ? std::string("track") : title) + ".mp3";
  }
  fs::path target = folder / name;
  for (int n = 2; fs::exists(target); ++n)
    target = folder / (name.stem().string() + " (" + std::to_string(n) + ")" + name.extension().string());
  return target;
}

}  // namespace

SelectionCommands::SelectionCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist,
                                     LibraryWork& work, TrackListControl& list, QObject* parent)
    : QObject(parent), form_(form), db_(db), player_(player), playlist_(playlist), work_(work), list_(list) {
  TrackList* view = form.TrackList1;
  connect(view, &TrackList::menu_requested, this, [this, view](const QPoint& at) {
    std::unique_ptr<QMenu> menu(make_menu(view->selected_records(), &form_));
    if (menu) menu->exec(at);
  });
  connect(view, &TrackList::delete_requested, this, [this, view] { delete_tracks(view->selected_records()); });
}

SelectionCommands::~SelectionCommands() = default;

QMenu* SelectionCommands::make_menu(const QList<int>& records, QWidget* parent) {
  if (records.isEmpty() || !db_.Table1.is_open()) return nullptr;
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("TrackMenu"));
  connect(menu->addAction(QStringLiteral("&Play")), &QAction::triggered, this,
          [this, first = records.front()] { list_.play_track(first); });
  menu->addSeparator();

  QMenu* categories = menu->addMenu(QStringLiteral("&Categories"));
  categories->setObjectName(QStringLiteral("TrackCategories"));
  const bool writable = !db_.Table1.read_only() && !work_.running();
  categories->setEnabled(writable);
  for (int k = 0; k < 64; ++k) {
    bool all = true;
    for (int record : records) all = all && (list_.categories_of(record) >> k & 1);
    QAction* item = categories->addAction(form_.ComboBox1->itemText(k + 1));
    item->setCheckable(true);
    item->setChecked(all);
    // Ticked on some and not all: a click ticks it on all.
    connect(item, &QAction::triggered, this, [this, records, k, all] { set_category(records, k, !all); });
  }

  const QString many = records.size() > 1 ? QStringLiteral(" %1").arg(counted(records.size(), "Track", "Tracks"))
                                          : QString();
  QAction* export_item = menu->addAction(QStringLiteral("&Export") + many + QStringLiteral("..."));
  export_item->setEnabled(!work_.running());
  connect(export_item, &QAction::triggered, this, [this, records] { export_asking(records); });
  QAction* fix = menu->addAction(QStringLiteral("&Fix") + many + QStringLiteral(" into Database"));
  fix->setEnabled(writable);
  connect(fix, &QAction::triggered, this, [this, records] { fix_tracks(records); });
  menu->addSeparator();
  QAction* remove = menu->addAction(QStringLiteral("&Delete") + many);
  remove->setEnabled(writable);
  connect(remove, &QAction::triggered, this, [this, records] { delete_tracks(records); });
  return menu;
}

void SelectionCommands::back_to(int record) {
  try {
    go_to_record(db_.Table1, record);
  } catch (const TableError&) {
    // The walk's own error was told; the list shows where the table stands.
  }
  playlist_.refresh_category_checks();
  list_.sync();
}

bool SelectionCommands::set_category(const QList<int>& records, int k, bool ticked) {
  Table& tracks = db_.Table1;
  if (!tracks.is_open() || records.isEmpty() || k < 0 || k >= 64) return false;
  if (tracks.read_only() || work_.running()) {
    form_.RzStatusBar1->showMessage(QStringLiteral("The categories cannot be changed now: the database is read-only "
                                                   "or busy"),
                                    kStatusTime);
    return false;
  }
  const int current = tracks.record_number();
  bool written = false;
  try {
    TableBatch batch(tracks);  // one commit for every track
    for (int record : records) {
      if (!go_to_record(tracks, record)) continue;
      tracks.edit();
      tracks.field_by_position(k).set_boolean(ticked);
      tracks.post();
    }
    batch.commit();
    written = true;
  } catch (const TableError& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
  }
  back_to(current);
  return written;
}

void SelectionCommands::export_asking(const QList<int>& records) {
  FileRequest request;
  request.title = QStringLiteral("Export %1 into a folder").arg(counted(records.size(), "track", "tracks"));
  request.folder = export_folder_.isEmpty() ? music_folder() : export_folder_;
  request.choose_folder = true;
  request.help_context = 190;
  const QString folder = dialogs_.choose_file(&form_, request);
  if (folder.isEmpty()) return;
  export_folder_ = folder;
  export_tracks(records, folder);
}

int SelectionCommands::export_tracks(const QList<int>& records, const QString& folder) {
  Table& tracks = db_.Table1;
  if (!tracks.is_open()) return 0;
  stop_playing(player_);
  const int current = tracks.record_number();
  int written = 0, kept_on_disk = 0;
  try {
    for (int record : records) {
      if (!go_to_record(tracks, record)) continue;
      if (is_empty(tracks, TrackTable::data)) {
        ++kept_on_disk;
        continue;
      }
      export_track(tracks, free_name(tracks, local_path(folder)));
      ++written;
    }
  } catch (const std::exception& error) {
    show_error(&form_, QStringLiteral("%1\n\n%2 exported before the export stopped.")
                           .arg(QString::fromUtf8(error.what()), counted(written, "track was", "tracks were")));
  }
  back_to(current);
  QString summary = QStringLiteral("%1 exported to %2").arg(counted(written, "track", "tracks"),
                                                            QDir::toNativeSeparators(folder));
  if (kept_on_disk > 0)
    summary += QStringLiteral(", %1 kept on disk passed over").arg(counted(kept_on_disk, "track", "tracks"));
  form_.RzStatusBar1->showMessage(summary, kStatusTime);
  return written;
}

void SelectionCommands::fix_tracks(const QList<int>& records) {
  Table& tracks = db_.Table1;
  if (!tracks.is_open() || work_.running() || records.isEmpty()) return;
  stop_playing(player_);
  const int current = tracks.record_number();
  auto job = std::make_unique<FixJob>(tracks, std::vector<int>(records.begin(), records.end()));
  FixJob* fix = job.get();
  work_.start(std::move(job), QStringLiteral("Storing the audio"), nullptr,
              {nullptr, [this, fix, current] {
                 back_to(current);
                 int failed = 0;
                 for (const FixOutcome& outcome : fix->outcomes()) failed += !outcome.failed.empty();
                 QString summary = fix->error().empty() ? QStringLiteral("The audio of %1 stored")
                                                              .arg(counted(fix->filled(), "track", "tracks"))
                                                        : QString::fromStdString(fix->error());
                 if (failed > 0) summary += QStringLiteral(", %1 not stored (its file cannot be read)").arg(failed);
                 form_.RzStatusBar1->showMessage(summary, kStatusTime);
               }});
}

bool SelectionCommands::delete_tracks(const QList<int>& records, bool ask) {
  Table& tracks = db_.Table1;
  if (!tracks.is_open() || records.isEmpty() || work_.running()) return false;
  if (ask && !dialogs_.confirm(&form_, QStringLiteral("Delete %1 from the database?")
                                           .arg(counted(records.size(), "track", "tracks"))))
    return false;
  stop_playing(player_);
  // From the last record back, so that the numbers of those still to go stay as they were.
  QList<int> order = records;
  std::sort(order.begin(), order.end(), std::greater<>());
  int deleted = 0;
  try {
    TableBatch batch(tracks);
    for (int record : order) {
      if (go_to_record(tracks, record) && delete_track(tracks)) ++deleted;
    }
    batch.commit();
  } catch (const TableError& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
    deleted = 0;
  }
  playlist_.ResetClick();
  list_.sync();
  if (deleted > 0)
    form_.RzStatusBar1->showMessage(QStringLiteral("%1 deleted").arg(counted(deleted, "track", "tracks")), kStatusTime);
  return deleted > 0;
}

}  // namespace vemla
