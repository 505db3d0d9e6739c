// vemla-decode without --play: prints the facts the library stores about a file and decodes it to WAV or raw
// PCM, saying on standard error when nothing could be decoded and how many frames were left out as damaged.
#pragma once

#include <string>

#include "header.h"

namespace vemla {

struct DecodeOptions {
  std::string input;   // the file to read
  std::string name;    // the input as messages name it
  std::string output;  // the file to write, "-" for standard output; empty: nothing is written
  bool wav = false;    // WAV rather than raw PCM
  bool f32 = false;    // 32-bit float samples taken before the 16-bit conversion
  bool info = false;   // print the facts first
  bool decode = true;  // false: the facts only
  ChannelChoice choice = ChoiceStereo;
  double gain = 1.0;   // factor applied to the samples before the 16-bit conversion (gain_stage.h)
};

// Does what the options ask and returns the exit status: 0 done (also when damaged frames were left out),
// 1 no frame found or decoded, or the output could not be written. A stop signal ends the decoding between
// two frames; what was decoded is then written out complete, and the caller turns the signal into the status.
int decode_command(const DecodeOptions& options);

// Before playing: false, with a message, when the file's first frame is an encoder's header that no audio
// frame follows. A file without any frame is left to the player, which says so in its own words.
bool has_audio_frames(const std::string& input, const std::string& name);

}  // namespace vemla
