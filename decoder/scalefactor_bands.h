// The scale-factor bands of Layer III (ISO/IEC 11172-3 Table B.8; ISO/IEC 13818-3 Table B.2), as the first
// line of each band (generated).
#pragma once

#include <cstdint>

namespace vemla {

struct BandTable {
  int32_t long_starts[23];   // 22 long-block bands; the last entry is 576
  int32_t short_starts[14];  // 13 short-block bands of one window; the last entry is 192
};

// Rows 0..2: LSF 22.05, 24 and 16 kHz; rows 3..5: MPEG-1 44.1, 48 and 32 kHz.
extern const BandTable band_table[6];

// The long bands of a mixed block: those below line 36, the first two subbands (eight bands at the MPEG-1
// rates, six at the lower ones, ISO/IEC 13818-3 2.4.3.4).
inline int mixed_long_bands(const BandTable& bands) {
  return bands.long_starts[6] == 36 ? 6 : 8;
}

}  // namespace vemla
