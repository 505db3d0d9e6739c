// The player's controls in the main window: the transport buttons and the position bar forward to the
// transport; the elapsed and total time, the bar, the player's state in the status bar and the buttons show
// what the player and the transport say. A timer follows the time heard while a run is open. User-interface
// thread only.
#pragma once

#include <QObject>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "player.h"

class QTimer;

namespace vemla {

class TForm1;
class Tdb;
class Transport;

class PlayerControl : public QObject {
  Q_OBJECT
 public:
  // Connects the transport buttons, the position bar and "Repeat Track" of `form` to the transport and shows
  // what it says. Every reference must outlive the object.
  PlayerControl(TForm1& form, Transport& transport, Tdb& db, QObject* parent = nullptr);
  ~PlayerControl() override;

  Transport& transport();
  Player& player();
  PlayerState player_state() const;

  // Where a track stored in the library plays from while it plays, and its removal when the window closes.
  std::filesystem::path temporary_file() const;
  void delete_temporary_file();

  // The position of what is heard, in microseconds from the start of the track; 0 without a run.
  int64_t position_us() const;
  // Moves playback to a position in microseconds (as releasing the position bar there would).
  void seek_to_us(int64_t position_us);

  // The display timer's period in milliseconds; -1 while it rests (nothing plays).
  int idle_interval() const;

 public slots:
  void PlayClick();
  void PauseClick();
  void StopClick();
  void PriorClick();
  void NextClick();
  void RzTrackBar1MouseDown();
  void RzTrackBar1MouseUp();
  // Shows the time heard and the player's state; runs from a timer while a run is open.
  void MyIdleHandler();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Watcher;

  void run_opened();
  // A keyboard or wheel move of the position bar: it seeks once the keys rest.
  void bar_moved_by_keys();
  void commit_key_seek();
  // The current track's length from its row; with the library closed and nothing playing, the times and
  // the bar go back to 0.
  void show_total_soon();
  void show_total();
  void show_state();
  void schedule();

  TForm1& form_;
  Transport& transport_;
  Tdb& db_;
  std::unique_ptr<Watcher> watcher_;
  QTimer* idle_timer_;
  QTimer* key_seek_timer_;

  unsigned shown_seconds_ = 0;
  bool dragging_ = false;
  uint64_t drag_run_ = 0;  // the transport's runs_started when the drag began
  bool mouse_on_bar_ = false;
  bool key_seek_pending_ = false;
  bool total_pending_ = false;
};

}  // namespace vemla
