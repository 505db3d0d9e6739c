// The playlist in the main window: the label of the tracks to be played, the category check list of the
// current track, the category filter and the "Found" pane, and the handlers of Reset, Shuffle and Arrange,
// which rebuild the transport's playlist and leave the current entry to the transport. User-interface thread
// only.
#pragma once

#include <QObject>
#include <cstdint>

#include "playlist.h"

namespace vemla {

class TForm1;
class Tdb;
class Transport;

class PlaylistControl : public QObject {
  Q_OBJECT
 public:
  // Connects the playlist buttons, the category list and the filter of `form`, and shows the entries the
  // transport makes current. Every reference must outlive the object.
  PlaylistControl(TForm1& form, Tdb& db, Transport& transport, QObject* parent = nullptr);
  ~PlaylistControl() override;

  Playlist& playlist();

  // Moves the track table to record r and shows whether it passes the filter ("Found" or "Not Found").
  bool go_to_track(int32_t record);

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
  // The filter is the list's item index, taken when it changes and when the list is rebuilt.
  void take_filter();
  // The transport moved the table to another entry.
  void show_current(bool found);
  Draw draw();
  // Arrange with a progress window once it takes more than a moment; the window's Cancel stops it.
  void arrange_with_progress(const Draw& draw);
  // Runs a handler; an error is shown and makes the result false.
  template <typename F>
  bool guarded(F handler);

  TForm1& form_;
  Tdb& db_;
  Transport& transport_;
  Playlist& playlist_;
  Draw fixed_draw_;
  int arrange_quiet_ms_ = 150;
  int arrange_show_ms_ = 250;
  int arrange_report_ms_ = 50;
  bool showing_checks_ = false;  // the check list is being filled, not ticked by the user
};

}  // namespace vemla
