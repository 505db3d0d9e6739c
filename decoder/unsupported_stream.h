// Streams of MPEG audio that this decoder does not read, recognised once no frame could be found, so that the
// user learns why a file plays nothing: MPEG 2.5 (8, 11.025 and 12 kHz, an extension outside ISO/IEC 11172-3
// and 13818-3 marked by version bits 00) and free format (bit-rate index 0, whose frame length no header
// states).
#pragma once

#include "bitstream.h"

namespace vemla {

enum class UnsupportedStream { None, Mpeg25, FreeFormat };

// Looks at the first 256 KiB of the stream's audio bytes for a run of three or more frames of either kind;
// the stream's position is not moved.
UnsupportedStream find_unsupported_stream(const Ibitstream& stream);

}  // namespace vemla
