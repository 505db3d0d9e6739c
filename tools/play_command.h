// vemla-decode --play: plays files one after the other through the run operations on the decode thread, with
// keys in a terminal. Files whose sampling rates and channels agree play as one stream, without a break; a
// file of another format ends the stream, and the device is opened anew for it.
#pragma once

#include <string>
#include <vector>

#include "decode_command.h"
#include "header.h"

namespace vemla {

struct PlayOptions {
  std::vector<InputFile> inputs;
  std::string device;  // a sound-device choice; empty: VEMLA_AUDIO, else "alsa"
  ChannelChoice choice = ChoiceStereo;
  int priority = 3;  // the settings' PRIORITY scale, 1 Lowest ... 6 Time Critical
  bool gapless = true;
  // ReplayGain as the window's Options give it, applied to each input's own values (InputFile::replaygain):
  // the samples -o writes with the same options. Off: the decoder's own level.
  GainSettings gains;
};

// Plays to the end (or until the user or a stop signal stops it; see StopSignals) and returns the exit
// status: 0 played or stopped, 1 a file that could not be played or a sound device that failed (the files
// after it are not played), 2 a bad device choice.
int play_files(const PlayOptions& options);

}  // namespace vemla
