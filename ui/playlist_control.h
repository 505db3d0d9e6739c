// The playlist in the main window: the label of the tracks to be played, the category check list of the
// current track, the category filter and the "Found" pane, and the handlers of Reset, Shuffle and Arrange.
#pragma once

#include <QObject>
#include <cstdint>

#include "playlist.h"

namespace vemla {

class PlayerControl;
class TForm1;
class Tdb;

class PlaylistControl : public QObject {
  Q_OBJECT
 public:
  // Connects the playlist buttons and the category list of `form`. The playlist walks the data module's track
  // table. Every reference must outlive the object.
  PlaylistControl(TForm1& form, Tdb& db, QObject* parent = nullptr);
  ~PlaylistControl() override;
  // Player control and the playlist call each other: set once, before the first handler runs.
  void set_player_control(PlayerControl& player);

  Playlist& playlist();

  // Moves the track table to record r and shows whether it passes the filter ("Found" or "Not Found").
  bool go_to_track(int32_t record);

 public slots:
  void ResetClick();
  void ShuffleClick();
  void ArrangeClick();
  // The user ticked (or unticked) category item `index` (0 ... 63) of the current track.
  void RzCheckList1Changing(int index, bool ticked);
  // The 64 category names into the check list and the filter list.
  void refresh_category_captions();
  void refresh_playlist_label();
  void refresh_category_checks();

 private:
  Playlist playlist_;
  PlayerControl* player_ = nullptr;
};

}  // namespace vemla
