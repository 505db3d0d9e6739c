#include "track_list_control.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>

#include "data.h"
#include "error_box.h"
#include "main_window.h"
#include "player_control.h"
#include "playlist_control.h"
#include "rows.h"
#include "track_list.h"
#include "track_list_model.h"

namespace vemla {

namespace {

// Rows that come and go (an import at work) are taken in at most this often: each time sorts the whole list.
constexpr int kRowsUpdateMs = 300;

QString text_of(const std::string& text) {
  return QString::fromStdString(text).trimmed();
}

}  // namespace

// What the track table and the category names tell the list.
class TrackListControl::Watcher final : public DataObserver {
 public:
  explicit Watcher(TrackListControl& owner) : owner_(owner) {}
  void state_changed(DataSource& source) override { changed(source); }
  void row_changed(DataSource& source) override {
    if (&source == &owner_.db_.data && source.table().is_open() && source.table().record_count() > 0)
      owner_.written_.insert(source.table().row_id());
    changed(source);
  }
  void field_changed(DataSource& source, const Field&) override { changed(source); }

 private:
  void changed(DataSource& source) {
    if (&source == &owner_.db_.categories) owner_.names_stale_ = true;
    owner_.sync_soon(0);
  }
  TrackListControl& owner_;
};

TrackListControl::TrackListControl(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist,
                                   QObject* parent)
    : QObject(parent),
      form_(form),
      db_(db),
      player_(player),
      playlist_(playlist),
      model_(form.TrackList1->model()),
      watcher_(std::make_unique<Watcher>(*this)),
      timer_(new QTimer(this)) {
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &TrackListControl::sync);
  TrackList* list = form.TrackList1;
  connect(list, &TrackList::current_requested, this, &TrackListControl::make_current);
  connect(list, &TrackList::play_requested, this, &TrackListControl::play_track);
  connect(&model_, &TrackListModel::read_failed, this, [this](const QString& problem) { show_error(&form_, problem); });
  // The playlist's buttons and filter change what will play; their handlers run first.
  for (QToolButton* button : {form.Reset, form.Shuffle, form.Arrange})
    connect(button, &QToolButton::clicked, this, [this] { sync_soon(0); });
  connect(form.ComboBox1, &QComboBox::currentIndexChanged, this, [this] { sync_soon(0); });
  db_.data.attach(*watcher_);
  db_.categories.attach(*watcher_);
  sync();
}

TrackListControl::~TrackListControl() {
  db_.categories.detach(*watcher_);
  db_.data.detach(*watcher_);
}

void TrackListControl::sync_soon(int delay_ms) {
  if (timer_->isActive() && timer_->remainingTime() <= delay_ms) return;
  timer_->start(delay_ms);
}

void TrackListControl::sync() {
  timer_->stop();
  Table& tracks = db_.Table1;
  const bool open = tracks.is_open();
  if (open != was_open_) {
    was_open_ = open;
    names_stale_ = true;
    const QString problem = model_.reload();
    if (!problem.isEmpty()) show_error(&form_, problem);
    written_.clear();
  } else {
    if (!since_rows_.isValid() || since_rows_.elapsed() >= kRowsUpdateMs) {
      if (model_.update()) since_rows_.start();
    } else {
      sync_soon(static_cast<int>(kRowsUpdateMs - since_rows_.elapsed()));
    }
  }
  // By id: rows deleted meanwhile have numbered the others anew.
  for (int64_t id : written_) {
    if (const int record = model_.record_of_id(id)) model_.refresh_record(record);
  }
  written_.clear();
  if (names_stale_) sync_categories();

  int current = 0;
  try {
    if (open && tracks.record_count() > 0) current = tracks.record_number();
  } catch (const std::exception&) {
  }
  if (current != current_) {
    current_ = current;
    model_.set_current(current);
    if (!chosen_in_list_) form_.TrackList1->show_record(current);
    emit current_changed(current);
  }
  model_.set_playlist(playlist_.playlist().entries(), std::clamp(form_.ComboBox1->currentIndex(), 0, 64));
  form_.TrackList1->set_empty_text(
      !open ? QStringLiteral("No database open: use Database > New or Open")
            : QStringLiteral("No tracks yet: add some with Track > Add, or drop files or folders here"));
  const QString title = window_title();
  if (form_.windowTitle() != title) form_.setWindowTitle(title);
  emit synced();
}

void TrackListControl::sync_categories() {
  names_stale_ = false;
  QStringList names;
  Table& categories = db_.Table3;
  try {
    for (int k = 1; k <= 64; ++k) {
      QString name = text_of(category_name(categories, k));
      names << (name.isEmpty() ? QString::number(k) : name);
    }
  } catch (const std::exception&) {
    names.clear();
  }
  model_.set_category_names(names);
}

QString TrackListControl::window_title() const {
  Table& tracks = db_.Table1;
  if (!tracks.is_open()) return QStringLiteral("Vemla");
  const QString library = QString::fromStdString(tracks.file_path().stem().string());
  const QString ending = QStringLiteral(" \u2014 %1 \u2014 Vemla").arg(library);
  try {
    if (tracks.record_count() == 0) return library + QStringLiteral(" \u2014 Vemla");
    QString title = text_of(get(tracks, TrackTable::title));
    const QString artist = text_of(get(tracks, TrackTable::artist));
    if (title.isEmpty()) {
      // A track without a title goes by its file's name.
      const std::filesystem::path file = get(tracks, TrackTable::pad);
      title = file.empty() ? QStringLiteral("Track %1").arg(tracks.record_number())
                           : QString::fromStdString(file.stem().string());
    }
    return title + (artist.isEmpty() ? QString() : QStringLiteral(" \u2013 ") + artist) + ending;
  } catch (const std::exception&) {
    return library + QStringLiteral(" \u2014 Vemla");
  }
}

CategoryMask TrackListControl::categories_of(int record) const {
  return model_.categories_of(record);
}

void TrackListControl::make_current(int record) {
  if (record < 1 || !db_.Table1.is_open()) return;
  Playlist& list = playlist_.playlist();
  const std::vector<int32_t>& entries = list.entries();
  const auto entry = std::find(entries.begin(), entries.end(), record);
  // Next goes on from the chosen track.
  if (entry != entries.end()) list.set_cursor(static_cast<int>(entry - entries.begin()));
  chosen_in_list_ = true;
  playlist_.go_to_track(record);
  sync();
  chosen_in_list_ = false;
}

void TrackListControl::play_track(int record) {
  if (record < 1 || !db_.Table1.is_open()) return;
  player_.StopClick();
  make_current(record);
  if (db_.Table1.record_number() == record) player_.PlayClick();
}

}  // namespace vemla
