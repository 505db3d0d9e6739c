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
  // Whether the last go_to_track failed with an error (shown to the user): a walk of the list ends there.
  bool lookup_failed() const { return lookup_failed_; }

  // Draws for Shuffle and Arrange; by default a generator seeded from the clock at every press. Tests fix
  // them.
  void set_draw(Draw draw);
  // How long Arrange works before it shows progress, how soon its window appears then, and how often it is
  // updated (milliseconds); tests make it show at once.
  void set_arrange_progress_delays(int quiet_ms, int show_ms, int report_ms);

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
  // The filter is the list's item index, taken when the list is walked or rebuilt.
  void take_filter();
  Draw draw();
  // Arrange with a progress window once it takes more than a moment; the window's Cancel stops it.
  void arrange_with_progress(const Draw& draw);
  // Runs a handler; an error is shown and makes the result false.
  template <typename F>
  bool guarded(F handler);

  TForm1& form_;
  Tdb& db_;
  Playlist playlist_;
  PlayerControl* player_ = nullptr;
  Draw fixed_draw_;
  int arrange_quiet_ms_ = 150;
  int arrange_show_ms_ = 250;
  int arrange_report_ms_ = 50;
  bool showing_checks_ = false;  // the check list is being filled, not ticked by the user
  bool lookup_failed_ = false;
};

}  // namespace vemla
