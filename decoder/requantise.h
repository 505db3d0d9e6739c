// Layer III requantisation (ISO/IEC 11172-3, 2.4.3.4.7): quantised values to spectral values, with the
// global gain, the scale factors, pre-emphasis and the sub-block gains.
#pragma once

#include <cstdint>

#include "layer3_side_info.h"
#include "scalefactor_bands.h"

namespace vemla {

// Writes out[576] from quantised[576] of one channel's granule, in the line order of the bitstream (short
// blocks band by band, window by window). The quantised values from line `lines` on are 0, and so are the
// values they give.
void dequantise(const int32_t* quantised, const GranuleInfo& granule, const ScaleFactorSet& factors,
                const BandTable& bands, float* out, int lines = 576);

// Lines [begin, end) that share one scale factor.
struct FactorRun {
  int begin;
  int end;
  float factor;
};

// The power law for the lines of `runs` (in order, covering [0, lines) without gaps):
// out[line] = (gain x |q|^(4/3), signed like q) x factor. Portable, and AVX2 (requantise_avx2.cpp, only
// where the processor has AVX2); both give the same bits.
void portable_requantise_runs(const int32_t* quantised, const FactorRun* runs, int count, float gain,
                              float* out);
void avx2_requantise_runs(const int32_t* quantised, const FactorRun* runs, int count, float gain, float* out);

// |q|^(4/3) x gain, signed like q: i^(4/3) from a table up to the largest magnitude a stream can carry,
// computed in double (as the table is) above.
float requantised(int32_t q, float gain);
constexpr int kPow43Entries = 15 + 8191 + 1;
const float* pow43_table();
}  // namespace vemla
