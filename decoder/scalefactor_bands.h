// The scale-factor bands of Layer III (ISO/IEC 11172-3 Table B.8; ISO/IEC 13818-3 Table B.2; MPEG 2.5), as
// the first line of each band (generated).
#pragma once

#include <cstdint>

namespace vemla {

struct BandTable {
  int32_t long_starts[23];   // 22 long-block bands; the last entry is 576
  int32_t short_starts[14];  // 13 short-block bands of one window; the last entry is 192
};

// Rows 0..2: LSF 22.05, 24 and 16 kHz; rows 3..5: MPEG-1 44.1, 48 and 32 kHz; rows 6..8: MPEG 2.5 11.025, 12
// and 8 kHz.
extern const BandTable band_table[9];

// The row of a header's version code (header_word.h) and sampling code.
inline int band_row(int version_code, int frequency_code) {
  return frequency_code % 3 + (version_code == 3 ? 3 : version_code == 2 ? 0 : 6);
}

// Where short band 3 begins in a short block's lines: where the short part of a mixed block and the second
// Huffman region of a short block begin. Line 36, the first two subbands, at every ISO rate; 72 at 8 kHz.
inline int short_band3_line(const BandTable& bands) { return 3 * bands.short_starts[3]; }

// The long bands of a mixed block: those below short band 3 (eight bands at the MPEG-1 rates, six at the
// lower ones, ISO/IEC 13818-3 2.4.3.4).
inline int mixed_long_bands(const BandTable& bands) {
  int band = 0;
  while (band < 22 && bands.long_starts[band] < short_band3_line(bands)) ++band;
  return band;
}

}  // namespace vemla
