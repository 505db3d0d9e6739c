// vemla-decode --play: plays a file through the run operations on the decode thread, with keys in a terminal.
#pragma once

#include <string>

#include "header.h"

namespace vemla {

struct PlayOptions {
  std::string input;
  std::string name;  // the input as messages name it; empty: `input`
  std::string device;  // a sound-device choice; empty: VEMLA_AUDIO, else "alsa"
  ChannelChoice choice = ChoiceStereo;
  int priority = 3;  // the settings' PRIORITY scale, 1 Lowest ... 6 Time Critical
};

// Plays to the end (or until the user or a stop signal stops it; see StopSignals) and returns the exit
// status: 0 played or stopped, 1 the file or the sound device failed, 2 a bad device choice.
int play_file(const PlayOptions& options);

}  // namespace vemla
