// Layer I and Layer II subband decoding (ISO/IEC 11172-3, 2.4.1.5-2.4.1.6 and 2.4.3.2-2.4.3.3): what a frame
// says of its subbands before the samples, and the plan by which its sample codes are read.
//
// Every group of a frame holds the codes of the same channels in the same order and lengths, so a channel's
// code in group g lies at a fixed distance g x (bits of a group) from its code in group 0: each channel is
// read on its own, all its groups in one loop, rather than the frame group by group.
#pragma once

#include <cstdint>
#include <cstring>

#include "bitstream.h"
#include "layer12_tables.h"

namespace vemla {

// The bits of a frame body at any position, most significant first; what lies past the body reads as zeros,
// as Ibitstream::read_bits gives it.
class BodyBits {
 public:
  explicit BodyBits(const uint8_t* body) : body_(body) {}

  // The n bits (1..56) from bit `position` on.
  uint64_t at(uint32_t position, unsigned n) const {
    const uint32_t byte = position >> 3;
    if (byte >= Ibitstream::kBodyBytes) return 0;
    uint64_t word;
    std::memcpy(&word, body_ + byte, sizeof word);  // the body is followed by 8 zero bytes
    return (__builtin_bswap64(word) << (position & 7)) >> (64 - n);
  }

 private:
  const uint8_t* body_;
};

// Sequential reading of the side information.
struct BitCursor {
  BodyBits bits;
  uint32_t position;

  uint32_t read(unsigned n) {
    const auto value = static_cast<uint32_t>(bits.at(position, n));
    position += n;
    return value;
  }
};

// One allocated channel of one subband, in the order the codes of a group follow one another: its codes
// start `offset` bits into each group; they are requantised (Layer I: code x factor + offset; Layer II: by
// `quantisation`), scaled by the scale factor of the group's third of the frame (`scale_factors`[group / 4];
// Layer I has one) and put at `samples`[32 k] for time slot k. Joint stereo above the bound puts the same
// values, scaled by the second channel's scale factors, at `samples2` as well.
struct CodedChannel {
  uint32_t offset = 0;
  const QuantisationClass* quantisation = nullptr;  // Layer II
  unsigned bits = 0;                                 // Layer I: code length, factor and offset
  float factor = 0.0f;
  float level_offset = 0.0f;
  const float* scale_factors = nullptr;
  float* samples = nullptr;
  const float* scale_factors2 = nullptr;
  float* samples2 = nullptr;
};

// What a frame's header says of its subbands.
struct SubbandLayout {
  unsigned count;     // subbands coded
  unsigned bound;     // from here on, one allocation and one set of samples for both channels
  unsigned channels;  // 1 or 2
};

}  // namespace vemla
