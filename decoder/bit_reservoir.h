// The Layer III bit reservoir (ISO/IEC 11172-3, 2.4.3.4.2, main_data_begin): main data of the last frames in
// a ring of 4096 bytes, read bit by bit, most significant bit first.
#pragma once

#include <array>
#include <cstdint>

namespace vemla {

class Bit_Reserve {
 public:
  static constexpr int kRingBytes = 4096;

  Bit_Reserve() = default;

  void append_byte(uint32_t value) {
    ring_[write_index_] = value & 0xFF;
    write_index_ = (write_index_ + 1) & (kRingBytes - 1);
  }
  void append_bytes(const uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i) append_byte(bytes[i]);
  }

  // The next n bits, most significant first; n = 0 reads nothing. A count above 32 only skips: only the
  // position counts then and the result is 0.
  uint32_t take_bits(uint32_t n) {
    if (n > 32) {
      skip_bits(n);
      return 0;
    }
    bits_consumed_ += static_cast<int32_t>(n);
    uint32_t result = 0;
    while (n > 0) {
      if (bits_left_ == 0) {
        bits_left_ = 8;
        ++read_byte_index_;
      }
      const uint32_t k = n < bits_left_ ? n : bits_left_;
      const uint32_t v = ring_[read_byte_index_ & (kRingBytes - 1)] & kBitMasks[bits_left_];
      n -= k;
      bits_left_ -= k;
      result |= (v >> bits_left_) << n;
    }
    return result;
  }
  uint32_t take_bit() {
    ++bits_consumed_;
    if (bits_left_ == 0) {
      bits_left_ = 8;
      ++read_byte_index_;
    }
    --bits_left_;
    return (ring_[read_byte_index_ & (kRingBytes - 1)] >> bits_left_) & 1;
  }
  // Moves the read position forward by n bits without reading them.
  void skip_bits(uint32_t n);
  // Steps the read position back by n bits or whole bytes.
  void unread_bits(uint32_t n);
  void unread_bytes(uint32_t n) {
    bits_consumed_ -= static_cast<int32_t>(8 * n);
    read_byte_index_ -= static_cast<int32_t>(n);
  }

  // The reservoir's clock: bits read so far, less those stepped back over.
  int32_t bits_consumed() const { return bits_consumed_; }
  int32_t write_index() const { return write_index_; }

 private:
  // Entry i = 2^i - 1: the unread low bits of a byte with i bits left.
  static constexpr uint32_t kBitMasks[9] = {0, 1, 3, 7, 15, 31, 63, 127, 255};

  int32_t write_index_ = 0;
  int32_t bits_consumed_ = 0;
  // The byte being read; used modulo the ring length, so no read ever leaves the ring.
  int32_t read_byte_index_ = 0;
  // One byte per word; zero until written, so that reading beyond what was appended is deterministic.
  std::array<uint32_t, kRingBytes> ring_{};
  uint32_t bits_left_ = 8;
};

}  // namespace vemla
