// Constant tables of Layer I and Layer II requantisation.
#pragma once

#include <cstdint>

namespace vemla {

// Layer I requantisation for allocation a = 1..14 (n = a + 1 bits): y = code x factor + offset, with
// factor = 2 / (2^n - 1) and offset = (2 - 2^n) / (2^n - 1) (ISO/IEC 11172-3, 2.4.3.2). Entry 0 is 0.
struct Layer1Requantiser {
  float factor;
  float offset;
};

struct Layer12Tables {
  // Scale factors, ISO/IEC 11172-3 Table 3-B.1: entry i = 2 x 2^(-i/3) for i = 0..62; code 63 is not
  // allowed and gives 0.
  float scale_factors[64];
  Layer1Requantiser layer1[15];
};
// Built once, on first use.
const Layer12Tables& layer12_tables();

// A Layer II quantisation class (ISO/IEC 11172-3 Table 3-B.4).
struct QuantisationClass {
  unsigned steps;
  unsigned code_length;       // bits per code: one code per group of three when grouped
  const float (*grouping)[3]; // grouped classes: the three requantised samples of each code; else null
  float factor;               // ungrouped: 2^(1 - code_length)
  float c;
  float d;
};

// The Layer II allocation fields of a kind of frame: the bits of each subband's field and the class each of
// its values selects (null for 0).
struct Layer2Allocation {
  unsigned bits[32];
  const QuantisationClass* classes[32][16];
};
// For MPEG-1 at the per-channel bit-rate index given, or for the lower sampling frequencies (`lsf`).
const Layer2Allocation& layer2_allocation(bool lsf, unsigned per_channel_bitrate_index);

}  // namespace vemla
