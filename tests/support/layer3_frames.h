// Test material for the Layer III decoder: a bit writer, code words taken from the decoding trees, and a
// writer of whole Layer III streams whose main data is laid out through the bit reservoir as a test asks.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bit_reservoir.h"
#include "huffman.h"
#include "layer3_side_info.h"

namespace vemla::test {

class BitWriter {
 public:
  void put(uint32_t value, int bits);
  void put_code(const std::string& code);  // "0110": bits as text, first bit first
  void append(const BitWriter& other);
  size_t bit_count() const { return bits_.size(); }
  std::vector<uint8_t> bytes() const;  // zero-padded to whole bytes

 private:
  std::vector<bool> bits_;
};

// A reservoir holding exactly the written bytes, read from the start.
Bit_Reserve reservoir_with(const BitWriter& bits);

// The code word of a leaf value (x * 16 + y, or the quadruple value) of a table, found by walking its tree.
std::string huffman_code(const HuffmanTable& table, unsigned value);
// The code and sign bits of a pair of a table without linbits.
void put_pair(BitWriter& out, const HuffmanTable& table, int x, int y);
// The code and sign bits of a quadruple of count1 table 32 + select.
void put_quadruple(BitWriter& out, unsigned select, int v, int w, int x, int y);

// One channel's granule: side information and its part 2 and 3 bits (part2_3_length is set from them).
struct GranuleData {
  GranuleInfo info;
  BitWriter data;
};

// A long-block granule: `pairs` big-value pairs of table 1 with pseudo-random values of -1, 0 and 1, zero
// quadruples (4 bits each) up to line 576 as far as `extra_bits` allows, and the rest of `extra_bits` as
// padding after line 576. No scale factors.
GranuleData random_granule(std::mt19937& random, unsigned pairs, unsigned extra_bits,
                           uint32_t global_gain = 190);
// A granule whose spectrum is all zero and whose data is `bits` bits of padding.
GranuleData silent_granule(unsigned bits);

struct StreamFormat {
  bool lsf = false;  // MPEG-1 48 kHz 128 kbit/s (384-byte frames), or LSF 24 kHz 64 kbit/s (192 bytes)
  uint8_t mode = 0;  // 0 stereo, 1 joint stereo, 3 single channel
  uint8_t mode_extension = 0;
  unsigned channels() const { return mode == 3 ? 1 : 2; }
  unsigned granules() const { return lsf ? 1 : 2; }
  int main_data_slots() const;
};

struct FrameData {
  std::vector<GranuleData> granules;  // granule-major: [gr * channels + ch]
  uint32_t scfsi[2][4] = {};
  // Bytes before this frame's own main data at which its main data begins (ISO main_data_begin); may
  // reach before the stream's start, whose bytes are then not written.
  int main_data_begin = 0;
};

// main_data_begin for each frame so that every frame's main data starts as early as the reservoir allows
// (511 bytes back at most), after `gaps[k]` bytes of ancillary data.
void pack_into_reservoir(const StreamFormat& format, std::vector<FrameData>& frames,
                         const std::vector<int>& gaps = {});

// The stream's bytes. Fails the test (and gives what it has) when a frame's main data overlaps the
// previous one's or does not fit before the next frame.
std::vector<uint8_t> build_stream(const StreamFormat& format, const std::vector<FrameData>& frames);

}  // namespace vemla::test
