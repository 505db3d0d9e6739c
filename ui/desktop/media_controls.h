// The desktop's media controls (media keys, sound menus, lock screens): what each of their commands does in the
// main window, and what they are shown of the player and the current track. Each command goes to the transport
// the window's buttons use, so that the player's rules hold for both. Knows nothing of the bus: mpris_service.h
// puts it there. User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace vemla {

class PlayerControl;
class TForm1;
class Tdb;
class Transport;

// The current track as the controls show it.
struct TrackFacts {
  // An object path made from the library's track table and the record number ("/vemla/library_1a2b3c4d/
  // track_3"); empty without a current track, and then so is everything else.
  QString id;
  QString title;
  QString artist;
  QString album;
  qint64 length_us = 0;
  QString art_url;  // the cover picture's copy ("file:///..."); empty without one
  friend bool operator==(const TrackFacts&, const TrackFacts&) = default;
};

// Everything the controls are shown that can change.
struct MediaState {
  QString playback_status;  // "Playing", "Paused" or "Stopped"
  TrackFacts track;
  bool can_play = false;
  bool can_pause = false;
  bool can_go_next = false;
  bool can_go_previous = false;
  bool can_seek = false;
  bool shuffle = false;        // the list is in an order of Shuffle or Arrange (until Reset)
  QString loop_status;         // "Track" (Repeat Track), "Playlist" (Nonstop Play) or "None"
  double volume = 1.0;         // the volume slider's position 0 ... 1; 0 while muted
  friend bool operator==(const MediaState&, const MediaState&) = default;
};

class MediaControls : public QObject {
  Q_OBJECT
 public:
  // Every reference must outlive the object. `quit_application` ends the program once the window has closed
  // (QCoreApplication::quit when empty).
  MediaControls(TForm1& form, Tdb& db, PlayerControl& player, std::function<void()> quit_application = {},
                QObject* parent = nullptr);
  ~MediaControls() override;

  // The commands. While a modal dialog is open they do nothing, as the window's buttons cannot be pressed.
  void raise();
  void quit();
  void play();        // Play
  void pause();       // Pause, only while playing (Pause on a paused player would resume it)
  void play_pause();  // Pause while playing, else Play
  void stop();        // Stop
  void next();        // Next
  void previous();    // Prior
  // Moves by `offset_us` from the position heard: not before the start; past the track's end it goes on as
  // Next does. Nothing unless seeking is possible.
  void seek(qint64 offset_us);
  // Moves to a position of the current track; nothing when `track_id` names another track or the position
  // lies outside the track.
  void set_position(const QString& track_id, qint64 position_us);
  // True runs Shuffle; false puts the list back in the library's order as Reset does (only when it is
  // shuffled, since Reset stops what plays).
  void set_shuffle(bool on);
  // "Track" ticks Repeat Track; "Playlist" clears it and ticks Nonstop Play; "None" clears both. False, and
  // nothing changed, for any other value.
  bool set_loop_status(const QString& status);

  // Moves the volume slider to `volume` (clamped to 0 ... 1); above 0 it also unmutes. Also while a dialog is
  // open: it changes nothing but the level.
  void set_volume(double volume);

  // The current track's cover picture, as an address the desktop can read ("" for none).
  void set_art_url(const QString& art_url);

  MediaState state() const;
  TrackFacts current_track() const;
  qint64 position_us() const;

 signals:
  // Something the state is made of may have changed (told once per turn of the event loop).
  void changed();
  // Playback jumped to this position.
  void seeked(qint64 position_us);

 private:
  class Watcher;
  bool commands_allowed() const;
  void changed_soon();

  TForm1& form_;
  Tdb& db_;
  PlayerControl& player_;
  Transport& transport_;
  std::function<void()> quit_application_;
  std::unique_ptr<Watcher> watcher_;
  bool change_pending_ = false;
  QString art_url_;
};

}  // namespace vemla
