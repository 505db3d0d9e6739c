// vemla-decode without --play: prints the facts the library stores about files and decodes them, one after
// the other as one stream, to WAV or raw PCM, saying on standard error when nothing could be decoded and how
// many frames were left out as damaged.
#pragma once

#include <string>
#include <vector>

#include "gain_stage.h"
#include "header.h"

namespace vemla {

struct InputFile {
  std::string path;  // the file to read
  std::string name;  // as messages name it
  double gain = 1.0;  // factor applied to its samples before the 16-bit conversion (gain_stage.h)
  ReplayGain replaygain;  // its tags' values, which --play gives the player as the window gives a track's
};

struct DecodeOptions {
  std::vector<InputFile> inputs;  // decoded in this order into one output
  std::string output;  // the file to write, "-" for standard output; empty: nothing is written
  bool wav = false;    // WAV rather than raw PCM
  bool f32 = false;    // 32-bit float samples taken before the 16-bit conversion
  bool info = false;   // print the facts first
  bool decode = true;  // false: the facts only
  bool gapless = true;  // exactly the encoder's input where the tags say which samples it is
  ChannelChoice choice = ChoiceStereo;
};

// Does what the options ask and returns the exit status: 0 done (also when damaged frames were left out),
// 1 an input without a frame or with no frame decoded, inputs whose sampling rates or channels differ, or an
// output that could not be written; nothing is then left under the output's name. A stop signal ends the
// decoding between two frames; what was decoded is then written out complete, and the caller turns the
// signal into the status.
int decode_command(const DecodeOptions& options);

// Before playing: false, with a message, when the file's first frame is an encoder's header that no audio
// frame follows. A file without any frame is left to the player, which says so in its own words.
bool has_audio_frames(const std::string& input, const std::string& name);

}  // namespace vemla
