// The run operations: the only way the rest of the program starts, pauses, positions and stops decoding. They
// run on the user-interface thread, which owns everything declared here.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "decode_run.h"
#include "sound_device.h"
#include "thread.h"

namespace vemla {

enum PlayerState : int { Paused = 0, Stopped = 1, Playing = 2, Ready = 3, Finished = 4 };

// The player's status text: "paused", "stopped", "playing", "ready", "finished".
const char* player_state_text(PlayerState state);

extern PlayerState player_state;     // Stopped after start-up
extern bool run_open;                // a run was opened and declared started, until close_run
extern float frame_duration;         // ms per frame of the run's stream, set by the player after opening
extern std::string track_file_name;  // the file the next run opens (any length)
extern std::unique_ptr<MP_INIT> decode_thread;  // the one decode thread, or null

// Where a run reads the player settings it needs. Until a provider is installed: PRIORITY 3 (Normal) and
// Mix item 0 (Stereo).
class RunSettings {
 public:
  virtual ~RunSettings() = default;
  // The settings' PRIORITY: 1 Lowest ... 6 Time Critical.
  virtual int priority() = 0;
  // The item index of the options' "Mix" group: 0 Stereo, 1 Left, 2 Right, 3 Mono.
  virtual int mix_index() = 0;
};
void set_run_settings(RunSettings* settings);

// The main window's title label, which shows why a file cannot be played.
class TitleLabel {
 public:
  virtual ~TitleLabel() = default;
  virtual void set_title_caption(std::string_view caption) = 0;
};
void set_title_label(TitleLabel* label);

// The program's sound device: the one VEMLA_AUDIO names (else ALSA's default), made at first use.
SoundDevice& sound_device();
// Replaces the sound device; only while no run is open.
void set_sound_device(std::unique_ptr<SoundDevice> device);

// Prepares a run on track_file_name and reads its first frame header; the thread stays suspended. False,
// with "Error: No header found" in the title label, when no frame header was found.
bool open_run();
// Stops and frees a running, paused or finished run. Returns promptly, also when the device stopped
// playing. Does nothing unless run_open.
void close_run();
// Resumes the decode thread, then restarts the sound device.
void start_run();
// Suspends the decode thread at its next safe point and pauses the sound device.
void pause_run();
// Asks the running or paused run to continue at 0-based `frame`; the thread is resumed. A paused player
// stays silent until start_run.
void request_seek(unsigned frame);

}  // namespace vemla
