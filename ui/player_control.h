// Plays the open library's current track from the main window: the transport buttons, the position bar, the
// elapsed and total time, the player's state in the status bar, and a timer that turns the end of a track into
// the next step (the next track, the end of the list, or the list again).
#pragma once

#include <QObject>
#include <cstdint>
#include <filesystem>

#include "player.h"

namespace vemla {

class PlaylistControl;
class TForm1;
class Tdb;

class PlayerControl : public QObject {
  Q_OBJECT
 public:
  // Connects the transport buttons and the position bar of `form` to the handlers below and starts the
  // timer. Every reference must outlive the object.
  PlayerControl(TForm1& form, Player& player, Tdb& db, PlaylistControl& playlist, QObject* parent = nullptr);
  ~PlayerControl() override;

  Player& player();
  PlayerState player_state() const;

  // Where a track stored in the library plays from while it plays ("$$$$$$$$.mp3" in the per-user runtime
  // folder), and its removal when the window closes.
  std::filesystem::path temporary_file() const;
  void delete_temporary_file();

  // The position of what is heard, in microseconds from the start of the track; 0 without a run.
  int64_t position_us() const;
  // Moves playback to a position in microseconds (as releasing the position bar there would).
  void seek_to_us(int64_t position_us);

 public slots:
  void PlayClick();
  void PauseClick();
  void StopClick();
  void PriorClick();
  void NextClick();
  void RzTrackBar1MouseDown();
  void RzTrackBar1MouseUp();
  // The rules that ran whenever the program was idle, now run from a timer.
  void MyIdleHandler();

 signals:
  // For observers beyond the window (the desktop's media controls): the player's state changed; another
  // track became current or started; playback jumped to another position.
  void state_changed(vemla::PlayerState state);
  void track_changed();
  void seeked(qint64 position_us);

 private:
  Player& player_;
};

}  // namespace vemla
