#include "media_controls.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QMetaObject>
#include <QSlider>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "data.h"
#include "main_window.h"
#include "player_control.h"
#include "rows.h"
#include "transport.h"

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
      transport_(player.transport()),
      quit_application_(std::move(quit_application)),
      watcher_(std::make_unique<Watcher>(*this)) {
  if (!quit_application_) quit_application_ = [] { QCoreApplication::quit(); };
  connect(&transport_, &Transport::state_changed, this, &MediaControls::changed_soon);
  connect(&transport_, &Transport::track_changed, this, &MediaControls::changed_soon);
  connect(&transport_, &Transport::current_changed, this, &MediaControls::changed_soon);
  connect(&transport_, &Transport::options_changed, this, &MediaControls::changed_soon);
  connect(&transport_, &Transport::seeked, this, &MediaControls::seeked);
  connect(form_.volumeSlider, &QSlider::valueChanged, this, &MediaControls::changed_soon);
  connect(form_.Mute, &QToolButton::toggled, this, &MediaControls::changed_soon);
  db_.data.attach(*watcher_);
  db_.reg.attach(*watcher_);  // Nonstop Play ticked in the window
}

MediaControls::~MediaControls() {
  db_.reg.detach(*watcher_);
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
  if (commands_allowed()) transport_.play();
  changed_soon();
}

void MediaControls::pause() {
  if (commands_allowed() && transport_.state() == Playing) transport_.pause();
  changed_soon();
}

void MediaControls::play_pause() {
  if (commands_allowed()) transport_.play_pause();
  changed_soon();
}

void MediaControls::stop() {
  if (commands_allowed()) transport_.stop();
  changed_soon();
}

void MediaControls::next() {
  if (commands_allowed()) transport_.next();
  changed_soon();
}

void MediaControls::previous() {
  if (commands_allowed()) transport_.prior();
  changed_soon();
}

void MediaControls::seek(qint64 offset_us) {
  if (!commands_allowed() || !state().can_seek) return;
  const qint64 length = current_track().length_us;
  // A client may send any offset: the sum saturates rather than wrapping round to the other end.
  qint64 sum = 0;
  const bool beyond = __builtin_add_overflow(position_us(), offset_us, &sum);
  const qint64 target =
      beyond ? (offset_us > 0 ? std::numeric_limits<qint64>::max() : 0) : std::max<qint64>(0, sum);
  if ((beyond && offset_us > 0) || (length > 0 && target > length)) {
    next();
  } else {
    transport_.seek_to_us(target);
  }
}

void MediaControls::set_position(const QString& track_id, qint64 position_us) {
  if (!commands_allowed() || !state().can_seek) return;
  const TrackFacts track = current_track();
  if (track.id.isEmpty() || track_id != track.id) return;
  if (position_us < 0 || (track.length_us > 0 && position_us > track.length_us)) return;
  transport_.seek_to_us(position_us);
}

void MediaControls::set_shuffle(bool on) {
  if (!commands_allowed() || !db_.Table1.is_open()) return;
  // The window's own handlers, so that the label, the filter and the progress follow as for the buttons.
  if (on) {
    form_.Shuffle->click();
  } else if (transport_.shuffled()) {
    form_.Reset->click();
  }
  changed_soon();
}

void MediaControls::set_volume(double volume) {
  const double sane = std::isfinite(volume) ? std::clamp(volume, 0.0, 1.0) : 1.0;
  const int value = static_cast<int>(std::lround(sane * form_.volumeSlider->maximum()));
  form_.volumeSlider->setValue(value);
  if (value > 0) form_.Mute->setChecked(false);
}

bool MediaControls::set_loop_status(const QString& status) {
  if (status != QLatin1String("Track") && status != QLatin1String("Playlist") && status != QLatin1String("None"))
    return false;
  if (!commands_allowed()) return true;
  transport_.set_repeat_track(status == QLatin1String("Track"));
  if (status != QLatin1String("Track")) transport_.set_nonstop(status == QLatin1String("Playlist"));
  changed_soon();
  return true;
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
    track.title = text(field(tracks, TrackTable::title));
    track.artist = text(field(tracks, TrackTable::artist));
    track.album = text(field(tracks, TrackTable::album));
    // The track heard, as the run hears it where it knows better than the row.
    const bool heard = transport_.run_record() == tracks.record_number() && transport_.run_length_ms() >= 0;
    const int length_ms = heard ? transport_.run_length_ms() : get(tracks, TrackTable::tracktotal);
    track.length_us = std::max<qint64>(0, length_ms) * 1000;
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
  state.can_go_next = open && transport_.can_go_next();
  state.can_go_previous = open && transport_.can_go_prior();
  // Seeking follows the position bar, which moves a playing or paused run only.
  state.can_seek = player_.player().run_open() && (player_state == Playing || player_state == Paused);
  state.shuffle = open && transport_.shuffled();
  bool nonstop = false;
  try {
    nonstop = transport_.settings(false).nonstop;
  } catch (const std::exception&) {
    // An unreadable settings table shows as no loop; the window reports the table's errors.
  }
  state.loop_status = transport_.repeat_track() ? QStringLiteral("Track")
                      : nonstop                 ? QStringLiteral("Playlist")
                                                : QStringLiteral("None");
  state.volume = form_.Mute->isChecked() ? 0.0 : form_.volumeSlider->value() / double(form_.volumeSlider->maximum());
  return state;
}

}  // namespace vemla
