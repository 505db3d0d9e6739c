// Layer III Huffman decoding by table lookup: tables built once from the decoding trees, giving for the next
// bits what the tree walk gives (value, bits used, or the give-up after 32 bits), a level at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "bit_reservoir.h"
#include "huffman.h"

namespace vemla {

// Entry of a lookup level, indexed by the next `width` bits of the stream:
//   leaf:    the code's bits in bits 8..13; in bits 0..5 all the bits of the pair or quadruple: the code's,
//            linbits for each value at the escape value, and one sign bit per value that is not 0 (x and y,
//            or v, w, x and y); the leaf value in bits 16..23; the widths of x's and y's escapes (linbits at
//            the escape value, else 0) in bits 24..27 and 28..31;
//   give-up: kGiveUp set, the bits used (to reach 32 from the code's start) in bits 0..5 and 8..13;
//   link:    kLink set, this level's width in bits 8..13, the next level's width in bits 0..4 and its
//            first entry in bits 16..31.
struct HuffmanLookup {
  static constexpr uint32_t kGiveUp = 1u << 14;
  static constexpr uint32_t kLink = 1u << 15;

  std::vector<uint32_t> entries;  // the first level first
  int root_width = 0;
  // Bits of the longest code with its escapes and sign bits (at most 32 for the code).
  int longest_pair = 0;
};

// Builds the lookup of a tree in the form of HuffmanTable; `root_width` caps the first level. Tables named
// "32" and "33" are quadruple tables, as for decode_huffman_pair.
HuffmanLookup build_huffman_lookup(const HuffmanTable& table, int root_width = 8);

// The lookups of the 34 tables (tables sharing a tree share one), built at the first call. Each pair with
// its escapes and signs leaves at least a first level's width of 64 bits, as decode_spectrum relies on.
const HuffmanLookup& huffman_lookup(unsigned table);

// decode_huffman_pair by lookup in `lookup` (built from `table`): the same values, signs, escapes, status
// and reservoir position afterwards.
HuffmanStatus lookup_huffman_pair(const HuffmanTable& table, const HuffmanLookup& lookup, int32_t& x,
                                  int32_t& y, int32_t& v, int32_t& w, Bit_Reserve& reservoir);

// The code at the top of `bits` (at least 32 bits valid): a leaf or give-up entry, with the bits of all
// levels it went through in its lengths.
inline uint32_t lookup_code(const uint32_t* entries, int root_width, uint64_t bits) {
  uint32_t e = entries[bits >> (64 - root_width)];
  if (!(e & HuffmanLookup::kLink)) [[likely]]
    return e;
  uint32_t used = 0;
  do {
    const uint32_t width = (e >> 8) & 63;
    used += width;
    bits <<= width;
    e = entries[(e >> 16) + (bits >> (64 - (e & 31)))];
  } while (e & HuffmanLookup::kLink);
  return e + (used << 8) + used;
}

}  // namespace vemla
