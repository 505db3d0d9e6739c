// The player: one decode run at a time on a file, with the control record, the decode thread, the run's
// decoder objects and the sound device it plays on. The desktop program makes exactly one; tests and the
// command-line player make their own. Every operation is for the owner's thread (the user-interface thread)
// unless it says otherwise.
//
// Gapless play: at the end of its stream the decode thread takes the next one its owner names
// (set_following_streams) and goes on writing into the same output buffer, so that the next frames follow the
// last ones in the device queue with no drain, reset or close between them; heard_stream and heard_frame then
// count from the device position where the next stream's frames begin.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "gain_stage.h"
#include "notifier.h"

namespace vemla {

class FollowingStreams;
class Header;
class Ibitstream;
class MP_INIT;
class SoundDevice;

enum PlayerState : int { Paused = 0, Stopped = 1, Playing = 2, Ready = 3, Finished = 4 };

// "paused", "stopped", "playing", "ready", "finished".
const char* player_state_text(PlayerState state);

// The settings a run reads when it is opened.
class PlayerSettings {
 public:
  virtual ~PlayerSettings() = default;
  // PRIORITY: 1 Lowest ... 6 Time Critical; any other value leaves the thread at normal priority.
  virtual int priority() = 0;
  // The "Mix" item: 0 Stereo, 1 Left, 2 Right, 3 Mono; any other value keeps the last choice.
  virtual int mix_index() = 0;
  // Exactly the encoder's input of each track (its delay and padding dropped where the tags give them), and
  // seeks that land on the sample a straight decode has there.
  virtual bool gapless() { return true; }
  // The user's ReplayGain choices (the volume in them is not used: see Player::set_volume).
  virtual GainSettings gains() { return {}; }
};

// The synthesis filters' scale for a track with these gains: its ReplayGain factor at full scale, without the
// volume, which the run multiplies in itself.
float track_scale(GainSettings settings, const ReplayGain& gain);

// Where the player says why a file cannot be played ("Error: No header found").
class TitleLabel {
 public:
  virtual ~TitleLabel() = default;
  virtual void set_title_caption(std::string_view caption) = 0;
  // A later run found its header: the label's own caption comes back.
  virtual void restore_title_caption() {}
};

// What the owner is told. Every call but events_waiting comes on the owner's thread.
class PlayerListener {
 public:
  virtual ~PlayerListener() = default;
  virtual void state_changed(PlayerState) {}
  // The run's stream ended and its audio has been played (from deliver_events).
  virtual void run_ended() {}
  // Decode thread: an event waits for deliver_events. The owner arranges for that call on its own thread
  // (a queued signal in the desktop program); this call must not block or touch a window.
  virtual void events_waiting() {}
};

class Player {
 public:
  // `device` is the sound device every run plays on; the player owns it (without one, runs play on a silent
  // device). `notifier` shows the messages of the decoder and the device: those raised on the decode thread
  // wait for deliver_events.
  Player(PlayerSettings& settings, TitleLabel& title, Notifier& notifier, std::unique_ptr<SoundDevice> device);
  // Closes any run (joining the decode thread) and closes the device; returns promptly. The listener is not
  // told of the last state change.
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  void set_listener(PlayerListener* listener);
  // What every run reads when it is opened.
  PlayerSettings& settings();

  // The file the next run opens.
  std::string track_file_name;
  // Its ReplayGain values (from the library), applied as the settings' gains() say.
  ReplayGain track_gain;

  // Prepares a run on track_file_name, to begin at 0-based `frame`, and reads its first frame header; the
  // decode thread stays suspended. The run counts as open (run_open) even when no header was found: then
  // "Error: No header found" is in the title label, the result is false and the next close_run ends it.
  bool open_run(unsigned frame = 0);
  // Stops and frees the run; player_state becomes Stopped. Nothing when no run is open.
  void close_run();
  // Resumes the decode thread, then restarts the sound device; player_state becomes Playing. Nothing unless a
  // run is open with its first header.
  void start_run();
  // Suspends the decode thread at its next safe point and pauses the sound device; player_state becomes
  // Paused, so that a seek keeps the device silent. Nothing when no run is open.
  void pause_run();
  // Asks the running or paused run to continue at 0-based `frame`. A paused player stays silent until
  // start_run.
  void request_seek(unsigned frame);

  bool run_open() const;
  PlayerState player_state() const;
  // Tells the listener when the state changes.
  void set_player_state(PlayerState state);

  // Whether the open run drops the encoders' delay and padding (PlayerSettings::gapless when it was opened).
  bool run_gapless() const;
  // Milliseconds per frame of the open run's stream; 0 without one.
  float frame_duration() const;
  // The frame the decoder published last (up to two device blocks ahead of what is heard). Any thread.
  int32_t reported_frame() const;
  // The frame being heard: the device's played position counted from the last seek, or from the start of
  // the stream being heard. Any thread.
  int32_t heard_frame() const;
  // Where the next run goes on, without a break, when its stream ends (null: it ends there); the object
  // must outlive the runs.
  void set_following_streams(FollowingStreams* following);
  // Of the open run: the streams it went on into, and the one being heard (0 the first). Any thread.
  uint32_t streams_followed() const;
  uint32_t heard_stream() const;
  // The run's stream ended and its audio has been played. Any thread.
  bool done() const;
  // Forgets a seen end of run: done() is false again until a run ends anew, and the reported (and heard)
  // frame goes back to 0.
  void clear_done();
  // The open run's decode thread has returned (the end, a failed seek, a device that could not be opened);
  // false without a run.
  bool thread_finished() const;
  // The open run's decode thread (its priority and whether it holds), or null.
  const MP_INIT* decode_thread() const;

  // The open run's first frame header and stream, for the facts of the track; null without a run. Only
  // before start_run or after the thread has finished.
  const Header* header() const;
  const Ibitstream* stream() const;

  SoundDevice& device();

  // The volume, linear 0 (silent) ... 1 (the track's own level); values outside are clamped. It applies to
  // every run, a playing one from its next frame on (within a device block). Any thread.
  void set_volume(double volume);
  double volume() const;

  // Passes what the decode thread raised (messages, the end of a run) to the notifier and the listener. A
  // run whose thread returned without playing to its end (a device that could not be opened, a failed seek)
  // is closed here, so that the player is Stopped again.
  void deliver_events();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vemla
