// Builds MPEG audio frames bit by bit for tests.
#pragma once

#include <cstdint>
#include <vector>

#include "crc.h"

namespace vemla::test {

class BitWriter {
 public:
  // Appends the low n bits of value, most significant first.
  BitWriter& put(uint32_t value, unsigned n) {
    for (unsigned i = n; i-- > 0;) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
      ++bits_;
    }
    return *this;
  }
  // Pads with zero bits to `total` bytes.
  BitWriter& pad_to(size_t total) {
    while (bytes_.size() < total) bytes_.push_back(0);
    bits_ = bytes_.size() * 8;
    return *this;
  }
  size_t bits() const { return bits_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

// The fields of a frame header (ISO/IEC 11172-3, 2.4.1.3).
struct HeaderFields {
  int version = 1;  // 1 MPEG-1, 0 LSF (MPEG-2), 2 MPEG 2.5
  int layer = 2;
  bool crc = false;
  int bitrate_index = 9;
  int sample_frequency = 1;
  int padding = 0;
  int mode = 0;
  int mode_extension = 0;
  int copyright = 0;
  int original = 0;

  uint32_t word() const {
    const uint32_t version_bits = version == 1 ? 3 : version == 0 ? 2 : 0;
    return 0xFFE00000u | version_bits << 19 | uint32_t((4 - layer) & 3) << 17 | uint32_t(crc ? 0 : 1) << 16 |
           uint32_t(bitrate_index) << 12 | uint32_t(sample_frequency) << 10 | uint32_t(padding) << 9 |
           uint32_t(mode) << 6 | uint32_t(mode_extension) << 4 | uint32_t(copyright) << 3 | uint32_t(original) << 2;
  }
};

inline void append_word(std::vector<uint8_t>& out, uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(word >> shift));
}

// Appends a frame: the header, a CRC word when the header asks for one (computed over the header's last 16 bits
// and the first `protected_bits` of the body), and the body padded with `fill` to `length` bytes in all.
inline void append_frame(std::vector<uint8_t>& out, const HeaderFields& h, std::vector<uint8_t> body, size_t length,
                         size_t protected_bits = 0, uint8_t fill = 0) {
  const uint32_t word = h.word();
  append_word(out, word);
  const size_t crc_bytes = h.crc ? 2 : 0;
  body.resize(length - 4 - crc_bytes, fill);
  if (h.crc) {
    Crc16 crc;
    crc.feed_bits(word & 0xFFFF, 16);
    for (size_t i = 0; i < protected_bits; ++i) crc.feed_bits((body[i / 8] >> (7 - i % 8)) & 1, 1);
    const uint16_t sum = crc.take_checksum();
    out.push_back(static_cast<uint8_t>(sum >> 8));
    out.push_back(static_cast<uint8_t>(sum));
  }
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace vemla::test
