// Plays the open library's current track from the main window: the transport buttons, the position bar, the
// elapsed and total time, the player's state in the status bar, and a timer that turns the end of a track into
// the next step (the next track, the end of the list, or the list again).
#pragma once

#include <QObject>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "player.h"

class QTimer;

namespace vemla {

class Field;
class PlaylistControl;
class TForm1;
class Tdb;

class PlayerControl : public QObject {
  Q_OBJECT
 public:
  // Connects the transport buttons and the position bar of `form` to the handlers below, listens to the
  // player and shows its state. Every reference must outlive the object.
  PlayerControl(TForm1& form, Player& player, Tdb& db, PlaylistControl& playlist, QObject* parent = nullptr);
  // Ends the run first, so that the decode thread no longer reports here.
  ~PlayerControl() override;

  Player& player();
  PlayerState player_state() const;

  // Where a track stored in the library plays from while it plays ("$$$$$$$$.mp3" in the per-user runtime
  // folder; empty when that folder is missing or not private), and its removal when the window closes.
  std::filesystem::path temporary_file() const;
  void delete_temporary_file();

  // The position of what is heard, in microseconds from the start of the track; 0 without a run.
  int64_t position_us() const;
  // Moves playback to a position in microseconds (as releasing the position bar there would).
  void seek_to_us(int64_t position_us);

  // The idle timer's period in milliseconds; -1 while it rests (nothing plays and nothing is pending).
  int idle_interval() const;

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

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Watcher;

  // PlayClick's preparation of a stopped player: the current track's file, then the run opened on it. False
  // when nothing can be started.
  bool open_current_track();
  // The stored audio of the current track written to the temporary file; false, with the user told, when it
  // cannot be.
  bool write_temporary_file(const Field& data);
  // The frame the displays show: the one being heard, or 0 once the run's end has been seen.
  int32_t shown_frame() const;
  int64_t microseconds(int32_t frame) const;
  void seek(int frame);
  // A keyboard or wheel move of the position bar: it seeks once the keys rest.
  void bar_moved_by_keys();
  void commit_key_seek();
  // With the library closed and nothing playing, the times and the bar go back to 0.
  void forget_closed_library();
  // The end of a track heard with "Repeat Track" ticked: the same track from its start.
  void repeat_track();
  void show_state();
  // Runs the idle rules soon; they choose the timer's next period.
  void wake();
  void schedule_idle();
  // Tells observers of a changed state or track once the current handler has finished.
  void publish_soon();
  void publish();
  // Whether the open run's decode thread is producing sound (started, not paused, not ended).
  bool sounding() const;
  // Runs a handler; an error of the table store ends it and is shown in the standard error box.
  template <typename F>
  void guarded(F handler);

  TForm1& form_;
  Player& player_;
  Tdb& db_;
  PlaylistControl& playlist_;
  std::unique_ptr<Watcher> watcher_;
  QTimer* idle_timer_;
  QTimer* key_seek_timer_;

  unsigned shown_seconds_ = 0;
  PlayerState shown_state_ = Stopped;
  bool dragging_ = false;
  uint64_t drag_run_ = 0;  // runs_started_ when the drag began
  bool mouse_on_bar_ = false;
  bool key_seek_pending_ = false;
  // The record's frame was cleared when the run's end was seen: the displays show 0 from then on.
  bool end_seen_ = false;
  int32_t run_record_ = 0;  // the track record the open run plays
  uint64_t runs_started_ = 0;

  bool in_idle_ = false;
  // Nonstop Play started the list again when runs_started_ was runs_at_restart_.
  bool list_restarted_ = false;
  uint64_t runs_at_restart_ = 0;
  bool publish_pending_ = false;
  PlayerState told_state_ = Stopped;
  int told_record_ = -1;
  uint64_t told_run_ = 0;
};

}  // namespace vemla
