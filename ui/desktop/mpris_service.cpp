#include "mpris_service.h"

#include <QDBusMessage>

namespace vemla {

namespace {

QVariantMap metadata(const TrackFacts& track) {
  QVariantMap map;
  if (track.id.isEmpty()) return map;  // no current track: an empty map
  map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(track.id)));
  if (track.length_us > 0) map.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qlonglong>(track.length_us));
  if (!track.title.isEmpty()) map.insert(QStringLiteral("xesam:title"), track.title);
  if (!track.artist.isEmpty()) map.insert(QStringLiteral("xesam:artist"), QStringList{track.artist});
  if (!track.album.isEmpty()) map.insert(QStringLiteral("xesam:album"), track.album);
  if (!track.art_url.isEmpty()) map.insert(QStringLiteral("mpris:artUrl"), track.art_url);
  return map;
}

}  // namespace

QVariantMap player_properties(const MediaState& state) {
  return {{QStringLiteral("PlaybackStatus"), state.playback_status},
          {QStringLiteral("Metadata"), metadata(state.track)},
          {QStringLiteral("CanPlay"), state.can_play},
          {QStringLiteral("CanPause"), state.can_pause},
          {QStringLiteral("CanGoNext"), state.can_go_next},
          {QStringLiteral("CanGoPrevious"), state.can_go_previous},
          {QStringLiteral("CanSeek"), state.can_seek},
          {QStringLiteral("Shuffle"), state.shuffle},
          {QStringLiteral("LoopStatus"), state.loop_status},
          {QStringLiteral("Volume"), state.volume}};
}

QVariantMap changed_player_properties(const MediaState& before, const MediaState& now) {
  QVariantMap all = player_properties(now);
  QVariantMap changed;
  const auto keep = [&](const char* name, bool differs) {
    if (differs) changed.insert(QString::fromLatin1(name), all.value(QString::fromLatin1(name)));
  };
  keep("PlaybackStatus", before.playback_status != now.playback_status);
  keep("Metadata", before.track != now.track);
  keep("CanPlay", before.can_play != now.can_play);
  keep("CanPause", before.can_pause != now.can_pause);
  keep("CanGoNext", before.can_go_next != now.can_go_next);
  keep("CanGoPrevious", before.can_go_previous != now.can_go_previous);
  keep("CanSeek", before.can_seek != now.can_seek);
  keep("Shuffle", before.shuffle != now.shuffle);
  keep("LoopStatus", before.loop_status != now.loop_status);
  keep("Volume", before.volume != now.volume);
  return changed;
}

// --- The service ---

MprisService::MprisService(MediaControls& controls, QDBusConnection connection, QObject* parent)
    : QObject(parent), controls_(controls), connection_(std::move(connection)), told_(controls.state()) {
  new MprisRootAdaptor(*this);
  auto* player = new MprisPlayerAdaptor(*this);
  connect(&controls_, &MediaControls::changed, this, &MprisService::send_changes);
  connect(&controls_, &MediaControls::seeked, player, &MprisPlayerAdaptor::Seeked);
}

MprisService::~MprisService() {
  if (registered_) connection_.unregisterObject(QString::fromLatin1(kMprisPath));
}

bool MprisService::register_object() {
  if (registered_) return true;
  if (!connection_.isConnected()) return false;
  registered_ = connection_.registerObject(QString::fromLatin1(kMprisPath), this, QDBusConnection::ExportAdaptors);
  told_ = controls_.state();
  return registered_;
}

void MprisService::refuse(const QString& name, const QString& text) {
  if (calledFromDBus()) sendErrorReply(name, text);
}

void MprisService::send_changes() {
  const MediaState now = controls_.state();
  const QVariantMap changed = changed_player_properties(told_, now);
  told_ = now;
  if (changed.isEmpty() || !registered_) return;
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kMprisPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(kMprisPlayerInterface) << changed << QStringList();
  connection_.send(signal);
}

// --- The root interface ---

MprisRootAdaptor::MprisRootAdaptor(MprisService& service) : QDBusAbstractAdaptor(&service), service_(service) {}

void MprisRootAdaptor::Raise() {
  service_.controls().raise();
}

void MprisRootAdaptor::Quit() {
  service_.controls().quit();
}

// --- The player interface ---

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService& service) : QDBusAbstractAdaptor(&service), service_(service) {}

QString MprisPlayerAdaptor::PlaybackStatus() const {
  return service_.controls().state().playback_status;
}

QVariantMap MprisPlayerAdaptor::Metadata() const {
  return metadata(service_.controls().current_track());
}

qlonglong MprisPlayerAdaptor::Position() const {
  return service_.controls().position_us();
}

bool MprisPlayerAdaptor::CanGoNext() const {
  return service_.controls().state().can_go_next;
}

bool MprisPlayerAdaptor::CanGoPrevious() const {
  return service_.controls().state().can_go_previous;
}

bool MprisPlayerAdaptor::CanPlay() const {
  return service_.controls().state().can_play;
}

bool MprisPlayerAdaptor::CanPause() const {
  return service_.controls().state().can_pause;
}

bool MprisPlayerAdaptor::CanSeek() const {
  return service_.controls().state().can_seek;
}

bool MprisPlayerAdaptor::Shuffle() const {
  return service_.controls().state().shuffle;
}

void MprisPlayerAdaptor::setShuffle(bool shuffle) {
  service_.controls().set_shuffle(shuffle);
}

QString MprisPlayerAdaptor::LoopStatus() const {
  return service_.controls().state().loop_status;
}

double MprisPlayerAdaptor::Volume() const {
  return service_.controls().state().volume;
}

void MprisPlayerAdaptor::setVolume(double volume) {
  service_.controls().set_volume(volume);
}

void MprisPlayerAdaptor::setLoopStatus(const QString& status) {
  // A property write has no reply of its own to refuse with: another value changes nothing.
  service_.controls().set_loop_status(status);
}

void MprisPlayerAdaptor::Next() {
  service_.controls().next();
}

void MprisPlayerAdaptor::Previous() {
  service_.controls().previous();
}

void MprisPlayerAdaptor::Pause() {
  service_.controls().pause();
}

void MprisPlayerAdaptor::PlayPause() {
  service_.controls().play_pause();
}

void MprisPlayerAdaptor::Stop() {
  service_.controls().stop();
}

void MprisPlayerAdaptor::Play() {
  service_.controls().play();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset) {
  service_.controls().seek(Offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
  service_.controls().set_position(TrackId.path(), Position);
}

void MprisPlayerAdaptor::OpenUri(const QString& Uri) {
  service_.refuse(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                  QStringLiteral("Vemla plays the tracks of its libraries only: %1 was not opened.").arg(Uri));
}

}  // namespace vemla
