#include "media_controls.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QMetaObject>
#include <QWidget>
#include <algorithm>
#include <exception>

#include "data.h"
#include "main_window.h"
#include "player_control.h"

namespace vemla {

// What the player control and the track table tell: any of it may change what the controls show.
class MediaControls::Watcher final : public DataObserver {
 public:
  explicit Watcher(MediaControls& owner) : owner_(owner) {}
  void state_changed(DataSource&) override { owner_.changed_soon(); }
  void row_changed(DataSource&) override { owner_.changed_soon(); }
  void field_changed(DataSource&, const Field&) override { owner_.changed_soon(); }

 private:
  MediaControls& owner_;
};

MediaControls::MediaControls(TForm1& form, Tdb& db, PlayerControl& player, std::function<void()> quit_application,
                             QObject* parent)
    : QObject(parent),
      form_(form),
      db_(db),
      player_(player),
      quit_application_(std::move(quit_application)),
      watcher_(std::make_unique<Watcher>(*this)) {
  if (!quit_application_) quit_application_ = [] { QCoreApplication::quit(); };
  connect(&player_, &PlayerControl::state_changed, this, &MediaControls::changed_soon);
  connect(&player_, &PlayerControl::track_changed, this, &MediaControls::changed_soon);
  connect(&player_, &PlayerControl::seeked, this, &MediaControls::seeked);
  db_.data.attach(*watcher_);
}

MediaControls::~MediaControls() {
  db_.data.detach(*watcher_);
}

void MediaControls::changed_soon() {
  if (change_pending_) return;
  change_pending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        change_pending_ = false;
        emit changed();
      },
      Qt::QueuedConnection);
}

bool MediaControls::commands_allowed() const {
  return QApplication::activeModalWidget() == nullptr;
}

// --- Commands ---

void MediaControls::raise() {
  form_.show();
  form_.setWindowState(form_.windowState() & ~Qt::WindowMinimized);
  form_.raise();
  form_.activateWindow();
}

void MediaControls::quit() {
  // After the reply has gone out: closing runs the window's own closing rules first.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!commands_allowed()) return;
        if (!form_.isVisible() || form_.close()) quit_application_();
      },
      Qt::QueuedConnection);
}

void MediaControls::play() {
  if (commands_allowed()) player_.PlayClick();
  changed_soon();
}

void MediaControls::pause() {
  if (commands_allowed() && player_.player_state() == Playing) player_.PauseClick();
  changed_soon();
}

void MediaControls::play_pause() {
  if (!commands_allowed()) return;
  if (player_.player_state() == Playing) {
    player_.PauseClick();
  } else {
    player_.PlayClick();
  }
  changed_soon();
}

void MediaControls::stop() {
  if (commands_allowed()) player_.StopClick();
  changed_soon();
}

void MediaControls::next() {
  if (commands_allowed()) player_.NextClick();
  changed_soon();
}

void MediaControls::previous() {
  if (commands_allowed()) player_.PriorClick();
  changed_soon();
}

void MediaControls::seek(qint64 offset_us) {
  if (!commands_allowed() || !state().can_seek) return;
  const qint64 length = current_track().length_us;
  const qint64 target = std::max<qint64>(0, position_us() + offset_us);
  if (length > 0 && target > length) {
    next();
  } else {
    player_.seek_to_us(target);
  }
}

void MediaControls::set_position(const QString& track_id, qint64 position_us) {
  if (!commands_allowed() || !state().can_seek) return;
  const TrackFacts track = current_track();
  if (track.id.isEmpty() || track_id != track.id) return;
  if (position_us < 0 || (track.length_us > 0 && position_us > track.length_us)) return;
  player_.seek_to_us(position_us);
}

// --- What is shown ---

namespace {

QString text(const Field& field) {
  return QString::fromStdString(field.as_text()).trimmed();
}

// The same library gives the same path however often it is opened; eight hexadecimal digits keep it short.
QString library_key(const std::filesystem::path& tracks) {
  const QByteArray digest =
      QCryptographicHash::hash(QByteArray::fromStdString(tracks.string()), QCryptographicHash::Sha1);
  return QString::fromLatin1(digest.toHex().left(8));
}

}  // namespace

TrackFacts MediaControls::current_track() const {
  TrackFacts track;
  Table& tracks = db_.Table1;
  try {
    if (!tracks.is_open() || tracks.record_count() == 0 || tracks.record_number() < 1) return track;
    track.id = QStringLiteral("/vemla/library_%1/track_%2")
                   .arg(library_key(tracks.file_path()))
                   .arg(tracks.record_number());
    track.title = text(tracks.field_by_name("TITLE"));
    track.artist = text(tracks.field_by_name("ARTIST"));
    track.album = text(tracks.field_by_name("ALBUM"));
    track.length_us = std::max<qint64>(0, tracks.field_by_name("TRACKTOTAL").as_integer()) * 1000;
    track.art_url = art_url_;
  } catch (const std::exception&) {
    // A row that cannot be read shows as far as it was read; the window reports the table's errors.
  }
  return track;
}

void MediaControls::set_art_url(const QString& art_url) {
  if (art_url == art_url_) return;
  art_url_ = art_url;
  changed_soon();
}

qint64 MediaControls::position_us() const {
  return player_.position_us();
}

MediaState MediaControls::state() const {
  MediaState state;
  const PlayerState player_state = player_.player_state();
  state.playback_status = player_state == Playing  ? QStringLiteral("Playing")
                          : player_state == Paused ? QStringLiteral("Paused")
                                                   : QStringLiteral("Stopped");
  state.track = current_track();
  Table& tracks = db_.Table1;
  const bool open = tracks.is_open();
  state.can_play = open && tracks.record_count() > 0;
  state.can_pause = state.can_play;
  state.can_go_next = open && !tracks.at_end();
  state.can_go_previous = open && !tracks.at_beginning();
  // Seeking follows the position bar, which moves a playing or paused run only.
  state.can_seek = player_.player().run_open() && (player_state == Playing || player_state == Paused);
  return state;
}

}  // namespace vemla
