// The media controls on the session bus as an MPRIS 2 player: the root interface org.mpris.MediaPlayer2 and the
// player interface org.mpris.MediaPlayer2.Player on the object /org/mpris/MediaPlayer2, with PropertiesChanged
// for what changes and Seeked for jumps. The bus name is claimed elsewhere (one program per user).
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "media_controls.h"

namespace vemla {

inline constexpr const char* kMprisPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* kMprisRootInterface = "org.mpris.MediaPlayer2";
inline constexpr const char* kMprisPlayerInterface = "org.mpris.MediaPlayer2.Player";

// The player interface's properties that change, as the bus carries them.
QVariantMap player_properties(const MediaState& state);
// Those of `now` that differ from `before`.
QVariantMap changed_player_properties(const MediaState& before, const MediaState& now);

// Calls that reach an adaptor run in its parent's bus context: the service answers for them.
class MprisService : public QObject, protected QDBusContext {
  Q_OBJECT
 public:
  // `controls` must outlive the service.
  MprisService(MediaControls& controls, QDBusConnection connection, QObject* parent = nullptr);
  ~MprisService() override;

  // Exports both interfaces; false when the connection is down or the path is taken.
  bool register_object();

  MediaControls& controls() { return controls_; }
  // Refuses the bus call being served with an error.
  void refuse(const QString& name, const QString& text);

 private:
  void send_changes();

  MediaControls& controls_;
  QDBusConnection connection_;
  MediaState told_;
  bool registered_ = false;
};

class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
 public:
  explicit MprisRootAdaptor(MprisService& service);

  bool CanQuit() const { return true; }
  bool CanRaise() const { return true; }
  bool HasTrackList() const { return false; }
  QString Identity() const { return QStringLiteral("Vemla"); }
  QString DesktopEntry() const { return QStringLiteral("vemla"); }
  // Tracks are played from libraries only.
  QStringList SupportedUriSchemes() const { return {}; }
  QStringList SupportedMimeTypes() const { return {}; }

 public slots:
  void Raise();
  void Quit();

 private:
  MprisService& service_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(double Rate READ Rate)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(double Volume READ Volume WRITE setVolume)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(double MinimumRate READ MinimumRate)
  Q_PROPERTY(double MaximumRate READ MaximumRate)
  Q_PROPERTY(bool CanGoNext READ CanGoNext)
  Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
  Q_PROPERTY(bool CanPlay READ CanPlay)
  Q_PROPERTY(bool CanPause READ CanPause)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)
  Q_PROPERTY(bool Shuffle READ Shuffle WRITE setShuffle)
  Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE setLoopStatus)
 public:
  explicit MprisPlayerAdaptor(MprisService& service);

  QString PlaybackStatus() const;
  // Vemla plays at one speed.
  double Rate() const { return 1.0; }
  QVariantMap Metadata() const;
  // The volume slider's position, 0 ... 1 (0 while muted); a value outside is taken as the nearer end.
  double Volume() const;
  void setVolume(double volume);
  qlonglong Position() const;
  double MinimumRate() const { return 1.0; }
  double MaximumRate() const { return 1.0; }
  bool CanGoNext() const;
  bool CanGoPrevious() const;
  bool CanPlay() const;
  bool CanPause() const;
  bool CanSeek() const;
  bool CanControl() const { return true; }
  // True runs Shuffle; false puts the list back in the library's order (Reset).
  bool Shuffle() const;
  void setShuffle(bool shuffle);
  // "Track" is Repeat Track, "Playlist" Nonstop Play, "None" neither; another value changes nothing.
  QString LoopStatus() const;
  void setLoopStatus(const QString& status);

 public slots:
  void Next();
  void Previous();
  void Pause();
  void PlayPause();
  void Stop();
  void Play();
  void Seek(qlonglong Offset);
  void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
  void OpenUri(const QString& Uri);

 signals:
  void Seeked(qlonglong Position);

 private:
  MprisService& service_;
};

}  // namespace vemla
