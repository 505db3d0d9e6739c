// CRC-16 of MPEG audio frames: ISO/IEC 11172-3, 2.4.3.1, polynomial x^16 + x^15 + x^2 + 1.
#pragma once

#include <cstdint>

namespace vemla {

class Crc16 {
 public:
  // Shifts the low `count` bits of `value` into the register, most significant first.
  void feed_bits(uint32_t value, unsigned count) {
    for (uint32_t bit = count ? 1u << (count - 1) : 0; bit; bit >>= 1) {
      const bool top = (reg_ & 0x8000) != 0;
      const bool in = (value & bit) != 0;
      reg_ = static_cast<uint16_t>(reg_ << 1);
      if (top != in) reg_ ^= 0x8005;
    }
  }
  // The register's value; the register starts again from 0xFFFF.
  uint16_t take_checksum() {
    const uint16_t sum = reg_;
    reg_ = 0xFFFF;
    return sum;
  }

 private:
  uint16_t reg_ = 0xFFFF;
};

}  // namespace vemla
