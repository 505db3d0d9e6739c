// The track list's handlers: the list follows the open library (rows added, written, deleted), marks the
// current track as Prior, Next and Auto Play move, shows which tracks the playlist will play, and names the
// current track and the library in the window's title. A click makes a track current the way the playlist
// does; a double click or Enter plays it through the window's Play.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <set>

#include "playlist.h"

class QTimer;

namespace vemla {

class PlayerControl;
class PlaylistControl;
class TForm1;
class Tdb;
class TrackListModel;

class TrackListControl : public QObject {
  Q_OBJECT
 public:
  // Every reference must outlive the object.
  TrackListControl(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist,
                   QObject* parent = nullptr);
  ~TrackListControl() override;

  // The window's title for the current track and library: "TITLE – ARTIST — LIBRARY — Vemla", the library's
  // name alone without a current track, "Vemla" without a library.
  QString window_title() const;

  // The categories of a track as the list knows them.
  CategoryMask categories_of(int record) const;

  // Brings the list up to the library at once (the program does it soon after every change by itself).
  void sync();

 public slots:
  // The track becomes current: the table moves to it and the playlist's cursor to its entry.
  void make_current(int record);
  // The track plays from its start, whatever played before.
  void play_track(int record);

 signals:
  // Another track became current (0: none).
  void current_changed(int record);
  // The list was brought up to the library (the current row may have been written).
  void synced();

 private:
  class Watcher;
  void sync_soon(int delay_ms);
  void sync_categories();

  TForm1& form_;
  Tdb& db_;
  PlayerControl& player_;
  PlaylistControl& playlist_;
  TrackListModel& model_;
  std::unique_ptr<Watcher> watcher_;
  bool was_open_ = false;
  bool names_stale_ = true;
  int current_ = -1;
  bool chosen_in_list_ = false;  // the list itself made the track current: it does not scroll to it
  std::set<int64_t> written_;    // ids of the rows written since the last sync
  QTimer* timer_;
  QElapsedTimer since_rows_;  // since rows were last taken in
};

}  // namespace vemla
