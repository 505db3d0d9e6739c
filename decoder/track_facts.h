// The technical facts of a track as the library stores them, read from its first frame header and, for the
// playing time, the encoder's figures of delay and padding where the stream has them.
#pragma once

#include <cstdint>
#include <string>

#include "bitstream.h"
#include "header.h"

namespace vemla {

struct TrackFacts {
  std::string version;     // VERSION
  std::string layer;       // LAYER
  std::string bitrate;     // BITRATE
  std::string samplerate;  // SAMPLERATE
  std::string mode;        // MODE
  bool checksums = false;  // CHECKSUMS: the frames carry CRC words
  bool copyright = false;  // COPYRIGHT
  bool original = false;   // ORIGINAL
  int32_t frametotal = 0;  // FRAMETOTAL
  int32_t tracktotal = 0;  // TRACKTOTAL, playing time in ms: of the exact sample count where known
  // The encoder's delay and padding and the samples a channel it took in, where the tags give them.
  bool exact = false;
  uint32_t encoder_delay = 0;
  uint32_t encoder_padding = 0;
  uint64_t samples = 0;
};

// Facts of the stream whose first header `header` has just read.
TrackFacts track_facts(const Header& header, const Ibitstream& stream);

// Whole seconds as hours, minutes within the hour and seconds: "%d:%0.2d:%0.2d".
std::string time_text(int64_t seconds);

}  // namespace vemla
