// The one transport of the desktop program: play, pause, play-pause, stop, next, prior and seeks, as the
// window's buttons and position bar, the space key and the desktop's media controls ask for them, and the
// playlist's current entry after Reset, Shuffle and Arrange. It prepares the current track's file, runs the
// player, carries out the play order's answers (moving the track table to the new current track) and keeps the
// player told which track follows the current one, so that the run goes on into it without a break where it
// can (following_tracks.h). It shows nothing: the window shows what it says.
// User-interface thread only; the player's reports reach it on that thread.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "play_order.h"
#include "player.h"
#include "playlist.h"

class QWidget;

namespace vemla {

class Field;
class Header;
class Ibitstream;
class FollowingTracks;
class Tdb;

class Transport : public QObject {
  Q_OBJECT
 public:
  // The playlist walks the data module's track table. Errors are shown in boxes over `window`. Every reference
  // must outlive the object.
  Transport(Player& player, Tdb& db, QWidget* window, QObject* parent = nullptr);
  // Ends the run first, so that the decode thread no longer reports here.
  ~Transport() override;

  Player& player() { return player_; }
  Playlist& playlist() { return playlist_; }
  PlayerState state() const { return player_.player_state(); }

  // The commands. Play plays the current track (also one flagged Auto Skip), resumes a paused one and does
  // nothing while playing; Pause pauses what plays and resumes what is paused; Stop ends any run.
  void play();
  void pause();
  void play_pause();
  void stop();
  void next();
  void prior();
  // Moves the run that plays or is paused to 0-based `frame` of the track heard; false, and nothing done, in
  // any other state. While the decoder is already on the next track, the track heard is opened anew at that
  // frame (paused when it was), and the next track follows it again from there.
  bool seek(int frame);
  // The same in microseconds from the start of the track, kept within the track's frames.
  bool seek_to_us(int64_t position_us);
  // The position of what is heard, in microseconds from the start of the track; 0 without a run.
  int64_t position_us() const;
  // The length of the track heard in frames (the position bar's range) and in milliseconds: as the run hears
  // it where the stream gives the encoder's figures and gapless play drops its delay and padding, else as its
  // row gives it (FRAMETOTAL; -1 for the milliseconds: TRACKTOTAL then holds).
  int run_frames() const { return run_frames_; }
  int run_length_ms() const { return run_length_ms_; }

  // The current entry after the list was rebuilt (the caller has stopped what played and rebuilt it).
  void list_changed(ListChange change);
  // Moves the track table to record `record` and tells whether it passes the filter (current_changed).
  bool go_to_track(int32_t record);
  // Whether the last go_to_track failed with an error (shown to the user).
  bool lookup_failed() const { return lookup_failed_; }

  // The playing options: Auto Play and Nonstop Play are the settings record's; Repeat Track lives while the
  // program runs. `refresh` re-reads the settings table first, which posts a tick the user has just made.
  PlaySettings settings(bool refresh = true);
  bool repeat_track() const { return repeat_track_; }
  void set_repeat_track(bool on);
  void set_nonstop(bool on);
  // Whether the list is in an order of Shuffle or Arrange, which Reset puts back.
  bool shuffled() const { return shuffled_; }
  // Whether Next and Prior would move (for the media controls).
  bool can_go_next();
  bool can_go_prior();

  // The frame the displays show: the one being heard, 0 without a run.
  int32_t shown_frame() const;
  int64_t microseconds(int32_t frame) const;
  // The record of the track heard; 0 without a run of this transport's.
  int32_t run_record() const { return own_run_ && player_.run_open() ? run_record_ : 0; }
  // Counts the runs started, so that a drag begun on one track asks nothing of the next.
  uint64_t runs_started() const { return runs_started_; }

  // Where a track stored in the library plays from ("$$$$$$$$.mp3" in the per-user runtime folder; empty when
  // that folder is missing or not private), and its removal when the window closes.
  std::filesystem::path temporary_file() const;
  void delete_temporary_file();

  // Works out the following track again soon (the filter or a track's flags changed).
  void following_may_change();
  FollowingTracks& following() { return *following_; }
  // The run went on into track `record` from `file` and its first sound is heard now: it becomes the current
  // track as the play order says, without a break. Where the order no longer agrees (an option or the list
  // changed meanwhile), the order is carried out instead, as at the end of a track; false then.
  bool go_on_into(int32_t record, const std::string& file);

 signals:
  void state_changed(vemla::PlayerState state);
  // A run was opened on the current track (its first header found or not), or the run went on into it.
  void run_opened();
  // Another track became current or started.
  void track_changed();
  // Playback jumped to this position.
  void seeked(qint64 position_us);
  // For the status bar: why a step did nothing, or why playing stopped.
  void status_message(const QString& text);
  // A step moved the track table to another entry; `found` when it passes the filter.
  void current_changed(bool found);
  // Repeat Track or Nonstop Play changed.
  void options_changed();

 private:
  class Watcher;

  // Carries out an answer of the play order.
  void apply(const Step& step);
  // Opens a run on the current track and starts it; false when nothing can be started.
  bool start_current_track();
  bool open_current_track();
  void run_ended();
  // What follows the end of the run, by the play order.
  void finish_run();
  void update_following();
  // Takes the lengths of the run's track heard from its first header, or from its row.
  void measure_run(const Header* header, const Ibitstream* stream);
  // Opens the track heard anew at `frame`, as it was (playing or paused).
  void reopen_at(int frame);
  void publish_soon();
  void publish();
  // Runs a command; an error of the table store ends it and is shown in the standard error box.
  template <typename F>
  bool guarded(F command);

  Player& player_;
  Tdb& db_;
  QWidget* window_;
  Playlist playlist_;
  std::unique_ptr<Watcher> watcher_;
  std::unique_ptr<FollowingTracks> following_;

  bool repeat_track_ = false;
  bool shuffled_ = false;
  bool lookup_failed_ = false;
  // The run's end came while it was paused (a seek past its last frame): Play carries it out.
  bool end_pending_ = false;
  // The open run is one this transport opened (the import dialog's preview opens its own).
  bool own_run_ = false;
  int32_t run_record_ = 0;
  int run_frames_ = 0;
  int run_length_ms_ = -1;
  uint64_t runs_started_ = 0;

  bool publish_pending_ = false;
  PlayerState told_state_ = Stopped;
  int told_record_ = -1;
  uint64_t told_run_ = 0;
};

}  // namespace vemla
