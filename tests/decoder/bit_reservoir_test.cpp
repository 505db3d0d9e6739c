// The bit reservoir: bit order, its clock, stepping back, long skips and the ring's bounds.
#include "bit_reservoir.h"

#include <gtest/gtest.h>

#include <vector>

namespace vemla {
namespace {

Bit_Reserve reservoir_of(const std::vector<uint8_t>& bytes) {
  Bit_Reserve r;
  r.append_bytes(bytes.data(), static_cast<int>(bytes.size()));
  return r;
}

TEST(BitReserve, ReadsMostSignificantBitFirstAcrossBytes) {
  Bit_Reserve r = reservoir_of({0xA5, 0x3C, 0xFF});
  EXPECT_EQ(r.take_bits(0), 0u);
  EXPECT_EQ(r.bits_consumed(), 0);
  EXPECT_EQ(r.take_bits(4), 0xAu);
  EXPECT_EQ(r.take_bits(8), 0x53u);
  EXPECT_EQ(r.take_bit(), 1u);
  EXPECT_EQ(r.take_bits(3), 4u);
  EXPECT_EQ(r.take_bits(8), 0xFFu);
  EXPECT_EQ(r.bits_consumed(), 24);
}

TEST(BitReserve, StepsBackOverBitsAndBytes) {
  Bit_Reserve r = reservoir_of({0x12, 0x34, 0x56, 0x78});
  r.take_bits(13);
  r.unread_bits(6);  // back across the byte boundary
  EXPECT_EQ(r.bits_consumed(), 7);
  EXPECT_EQ(r.take_bits(9), 0x34u);  // bits 7..15: 0 0011 0100
  r.unread_bits(8);                  // back onto a byte boundary
  EXPECT_EQ(r.take_bits(8), 0x34u);
  r.unread_bytes(2);
  EXPECT_EQ(r.bits_consumed(), 0);
  EXPECT_EQ(r.take_bits(16), 0x1234u);
}

TEST(BitReserve, SkipsLongRunsToTheRightBit) {
  std::vector<uint8_t> bytes(16);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  for (uint32_t skip : {0u, 3u, 5u, 8u, 33u, 37u, 40u, 64u, 71u}) {
    Bit_Reserve expected = reservoir_of(bytes);
    for (uint32_t i = 0; i < skip; ++i) expected.take_bit();
    Bit_Reserve r = reservoir_of(bytes);
    r.take_bits(3);
    r.unread_bits(3);
    r.take_bits(skip);  // counts above 32 only skip
    EXPECT_EQ(r.bits_consumed(), static_cast<int32_t>(skip));
    EXPECT_EQ(r.take_bits(17), expected.take_bits(17)) << "skip " << skip;
  }
}

TEST(BitReserve, WrapsInsideItsRing) {
  Bit_Reserve r;
  for (int i = 0; i < Bit_Reserve::kRingBytes + 100; ++i) r.append_byte(static_cast<uint32_t>(i * 7));
  EXPECT_EQ(r.write_index(), 100);
  // Byte 0 was overwritten by byte 4096.
  EXPECT_EQ(r.take_bits(8), (4096u * 7) & 0xFF);
  r.take_bits(8 * 4099);
  EXPECT_EQ(r.take_bits(8), (4100u * 7) & 0xFF);
  // Rebasing moves the clock back by a ring length and leaves the read position where it was.
  r.unread_bytes(Bit_Reserve::kRingBytes);
  EXPECT_EQ(r.bits_consumed(), 8 * (4101 - 4096));
  EXPECT_EQ(r.take_bits(8), (4101u * 7) & 0xFF);
  // Stepping back before the first byte reads the end of the ring, never outside it.
  Bit_Reserve fresh = reservoir_of({0x80});
  fresh.unread_bits(16);
  EXPECT_EQ(fresh.take_bits(16), 0u);
  EXPECT_EQ(fresh.take_bit(), 1u);
}

// Reads of up to 32 bits from every bit position near the ring's end, and peeks of 57 bits, give the bits of
// the ring taken round its end; a run longer than the ring keeps its last 4096 bytes.
TEST(BitReserve, WideReadsWrapAtTheRingsEnd) {
  std::vector<uint8_t> bytes(Bit_Reserve::kRingBytes + 300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 151 + (i >> 8));
  Bit_Reserve at_once = reservoir_of(bytes), byte_by_byte;
  for (uint8_t b : bytes) byte_by_byte.append_byte(b);
  EXPECT_EQ(at_once.write_index(), byte_by_byte.write_index());
  // The bit at reservoir position p: ring byte (p / 8) mod 4096 holds the last byte written there.
  const auto bit_at = [&](int64_t p) {
    const int64_t slot = (p / 8) % Bit_Reserve::kRingBytes;
    const int64_t source = slot < 300 ? slot + Bit_Reserve::kRingBytes : slot;
    return (bytes[source] >> (7 - p % 8)) & 1;
  };
  for (int32_t start = 8 * Bit_Reserve::kRingBytes - 80; start < 8 * Bit_Reserve::kRingBytes + 16; ++start) {
    for (uint32_t n : {1u, 7u, 13u, 32u}) {
      uint32_t want = 0;
      for (uint32_t i = 0; i < n; ++i) want = want << 1 | bit_at(start + i);
      for (Bit_Reserve* r : {&at_once, &byte_by_byte}) {
        r->set_bits_consumed(start);
        ASSERT_EQ(r->take_bits(n), want) << "start " << start << ", " << n << " bits";
      }
    }
    uint64_t want = 0;
    for (int i = 0; i < Bit_Reserve::kPeekBits; ++i) want = want << 1 | bit_at(start + i);
    ASSERT_EQ(at_once.peek_bits(start) >> (64 - Bit_Reserve::kPeekBits), want) << "start " << start;
  }
}

// The reader gives the bits take_bits gives, from any position, with refills at any point, across the
// ring's end, and reports where it stands. After a refill the whole buffer is the ring's bits, which the
// Huffman decoder's look-ahead relies on.
TEST(BitReserve, ReaderFollowsTakeBits) {
  std::vector<uint8_t> bytes(Bit_Reserve::kRingBytes);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 97 + 5);
  Bit_Reserve r = reservoir_of(bytes);
  for (int32_t start : {0, 3, 8 * 4000 + 5, 8 * Bit_Reserve::kRingBytes - 9, -13}) {
    Bit_Reserve::Reader reader(r, start);
    r.set_bits_consumed(start);
    for (uint32_t step = 0; step < 400; ++step) {
      const uint32_t n = 1 + step * 7 % 29;
      if (reader.count() < n) reader.refill();
      ASSERT_GE(reader.count(), n);
      ASSERT_EQ(static_cast<uint32_t>(reader.bits() >> (64 - n)), r.take_bits(n))
          << start << ", step " << step;
      reader.consume(n);
      ASSERT_EQ(reader.position(), r.bits_consumed());
      if (step % 3 == 0) {
        reader.refill();
        Bit_Reserve ahead = r;
        const uint64_t high = ahead.take_bits(32);
        ASSERT_EQ(reader.bits(), high << 32 | ahead.take_bits(32)) << start << ", step " << step;
      }
    }
  }
}

}  // namespace
}  // namespace vemla
