// Free-format streams (bit-rate index 0, ISO/IEC 11172-3 2.4.2.3): no header states their frame length, so it
// is measured once, from where the stream's frames start, and kept for the whole stream.
#pragma once

#include <cstdint>

#include "bitstream.h"

namespace vemla {

// The highest bit rates taken in free format, in kbit/s: those the standard asks decoders to play in Layers I
// and II, and in Layer III the 640 kbit/s that encoders write (the standard asks for 320 and allows more).
constexpr unsigned kFreeFormatLimitKbps[3] = {448, 384, 640};
// The lowest: the lowest bit rate of any table.
constexpr unsigned kFreeFormatFloorKbps = 8;

// The unpadded length in bytes, header included, of the free-format frames whose first header `word` lies at
// `offset`: the distance to the next header of the same kind (less the first frame's padding slot), borne out
// by a third header where the second frame ends, or by the end of the audio there. 0 when no such length lies
// within the limits above (or, with `any_rate`, within the frame buffer alone). The stream's position is not
// moved.
unsigned measure_free_format(const Ibitstream& stream, uint64_t offset, uint32_t word, bool any_rate = false);

}  // namespace vemla
