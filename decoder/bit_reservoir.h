// The Layer III bit reservoir (ISO/IEC 11172-3, 2.4.3.4.2, main_data_begin): main data of the last frames in
// a ring of 4096 bytes, read bit by bit, most significant bit first.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace vemla {

class Bit_Reserve {
 public:
  static constexpr int kRingBytes = 4096;
  // Bits that peek_bits always delivers: a 64-bit load less the up to 7 bits of the byte already read.
  static constexpr int kPeekBits = 57;

  Bit_Reserve() = default;

  void append_byte(uint32_t value) {
    ring_[write_index_] = static_cast<uint8_t>(value);
    if (write_index_ < kMirrorBytes) ring_[kRingBytes + write_index_] = static_cast<uint8_t>(value);
    write_index_ = (write_index_ + 1) & (kRingBytes - 1);
  }
  void append_bytes(const uint8_t* bytes, int count);

  // The next n bits, most significant first; n = 0 reads nothing. A count above 32 only skips: only the
  // position counts then and the result is 0.
  uint32_t take_bits(uint32_t n) {
    const int32_t position = bits_consumed_;
    bits_consumed_ += static_cast<int32_t>(n);
    if (n == 0 || n > 32) return 0;
    return static_cast<uint32_t>(peek_bits(position) >> (64 - n));
  }
  uint32_t take_bit() { return static_cast<uint32_t>(peek_bits(bits_consumed_++) >> 63); }
  // Moves the read position forward by n bits without reading them.
  void skip_bits(uint32_t n) { bits_consumed_ += static_cast<int32_t>(n); }
  // Steps the read position back by n bits or whole bytes.
  void unread_bits(uint32_t n) { bits_consumed_ -= static_cast<int32_t>(n); }
  void unread_bytes(uint32_t n) { bits_consumed_ -= static_cast<int32_t>(8 * n); }

  // The reservoir's clock: bits read so far, less those stepped back over. It is also the read position:
  // bit (clock mod 8) of byte (clock / 8) mod 4096, counted from the top.
  int32_t bits_consumed() const { return bits_consumed_; }
  int32_t write_index() const { return write_index_; }

  // For decoders that read ahead in a local copy of the clock: at least kPeekBits bits from `position`
  // on, most significant first, in the top bits of the result. Moves nothing; the ring wraps as for
  // take_bits. Hand the position back with set_bits_consumed.
  uint64_t peek_bits(int32_t position) const {
    const uint32_t p = static_cast<uint32_t>(position);  // modulo 2^32, a multiple of the ring's bits
    uint64_t word;
    std::memcpy(&word, ring_ + ((p >> 3) & (kRingBytes - 1)), sizeof word);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    return word << (p & 7);
  }
  void set_bits_consumed(int32_t position) { bits_consumed_ = position; }

  class Reader;

 private:
  // The first bytes of the ring again after its end, so that an 8-byte load at any ring position reads
  // the bytes that follow it in the ring.
  static constexpr int kMirrorBytes = 8;

  int32_t write_index_ = 0;
  int32_t bits_consumed_ = 0;
  // Zero until written, so that reading beyond what was appended is deterministic.
  uint8_t ring_[kRingBytes + kMirrorBytes] = {};
};

// Reads a reservoir's bits from a position on without moving the reservoir, through a 64-bit buffer that
// refill() tops up to at least 56 bits with one 8-byte load. The load's address does not depend on the bits
// just used, so decoding loops do not wait for it. After a refill all 64 bits of the buffer are the ring's
// bits from the position on (count() counts the whole bytes among them). Reads wrap inside the ring as
// take_bits does.
class Bit_Reserve::Reader {
 public:
  static constexpr uint32_t kRefilledBits = 56;

  Reader(const Bit_Reserve& reservoir, int32_t position)
      : ring_(reservoir.ring_), byte_(static_cast<uint32_t>(position) >> 3) {
    refill();
    consume(static_cast<uint32_t>(position) & 7);
  }

  void refill() {
    buffer_ |= load(byte_) >> count_;
    byte_ += (63 - count_) >> 3;
    count_ |= kRefilledBits;
  }
  // The valid bits, first bit at the top; count() of them.
  uint64_t bits() const { return buffer_; }
  uint32_t count() const { return count_; }
  void consume(uint32_t n) {
    buffer_ <<= n;
    count_ -= n;
  }
  // The reservoir position of the next bit.
  int32_t position() const { return static_cast<int32_t>(byte_ * 8 - count_); }

 private:
  // Eight ring bytes from `byte` (mod 4096) on, the first at the top; the mirrored tail covers the wrap.
  uint64_t load(uint32_t byte) const {
    uint64_t word;
    std::memcpy(&word, ring_ + (byte & (kRingBytes - 1)), sizeof word);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    return word;
  }

  const uint8_t* ring_;
  uint32_t byte_;        // the next ring byte to enter the buffer (mod 4096)
  uint32_t count_ = 0;   // valid bits in the buffer
  uint64_t buffer_ = 0;  // below the valid bits: zeros, or the bits that follow them
};

}  // namespace vemla
