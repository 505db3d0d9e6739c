#include "huffman.h"

#include <algorithm>

#include "huffman_lookup.h"

namespace vemla {
namespace {

// A signed value: the magnitude, then (when it is not 0) a sign bit, 1 for negative.
inline int32_t with_sign(int32_t magnitude, Bit_Reserve& reservoir) {
  return magnitude != 0 && reservoir.take_bit() ? -magnitude : magnitude;
}

}  // namespace

HuffmanStatus decode_huffman_pair(const HuffmanTable& table, int32_t& x, int32_t& y, int32_t& v, int32_t& w,
                                  Bit_Reserve& reservoir) {
  if (table.tree_length == 0) {
    x = y = 0;
    return kHuffmanDecoded;
  }
  if (table.tree == nullptr) return kHuffmanNoTree;

  uint32_t node = 0;
  int bits = 0;
  while (table.tree[node][0] != 0) {
    if (bits++ == 32) return kHuffmanNoLeaf;
    const int side = static_cast<int>(reservoir.take_bit());
    uint32_t distance = table.tree[node][side];
    while (distance >= kHuffmanHop) {
      node += distance;
      distance = table.tree[node][side];
    }
    node += distance;
  }
  return finish_huffman_pair(table, table.tree[node][1], x, y, v, w, reservoir);
}

HuffmanStatus finish_huffman_pair(const HuffmanTable& table, uint32_t value, int32_t& x, int32_t& y,
                                  int32_t& v, int32_t& w, Bit_Reserve& reservoir) {
  if (is_quadruple_table(table)) {
    // Count1 quadruple: four magnitudes of 0 or 1, each followed by its sign bit when it is 1.
    v = with_sign(static_cast<int32_t>((value >> 3) & 1), reservoir);
    w = with_sign(static_cast<int32_t>((value >> 2) & 1), reservoir);
    x = with_sign(static_cast<int32_t>((value >> 1) & 1), reservoir);
    y = with_sign(static_cast<int32_t>(value & 1), reservoir);
    return kHuffmanDecoded;
  }

  // Escape, then sign, for x and then for y.
  uint32_t mx = value >> 4;
  if (table.linbits > 0 && mx == table.x_length - 1) mx += reservoir.take_bits(table.linbits);
  x = with_sign(static_cast<int32_t>(mx), reservoir);
  uint32_t my = value & 15;
  if (table.linbits > 0 && my == table.y_length - 1) my += reservoir.take_bits(table.linbits);
  y = with_sign(static_cast<int32_t>(my), reservoir);
  return kHuffmanDecoded;
}

namespace {

// A value of 0 or more with its sign applied: negative is 1 for a negative value.
inline int32_t signed_value(uint32_t magnitude, uint32_t negative) {
  return static_cast<int32_t>((magnitude ^ (0u - negative)) + negative);
}

// The same with the sign as a mask (all ones: negative); 0 stays 0 whichever the mask.
inline int32_t with_sign_mask(uint32_t magnitude, int32_t mask) {
  return static_cast<int32_t>((magnitude ^ static_cast<uint32_t>(mask)) - static_cast<uint32_t>(mask));
}

// The big-value pairs of lines [begin, end) with one table, by lookup. Escapes are as common as not in the
// loud low lines of music, so they are read without a branch: the entry gives the width of each value's
// escape (linbits, or 0), then comes the sign bit of a value that is not 0, for x and then for y. The
// entry's length counts them all, so the next code's position waits on the lookup alone.
template <bool kEscapes>
void decode_pairs_with(Bit_Reserve::Reader& reader, const HuffmanLookup& lookup, int begin, int end,
                       int32_t* quantised) {
  Bit_Reserve::Reader in = reader;  // a copy the loop keeps in registers
  const uint32_t* entries = lookup.entries.data();
  const int root_width = lookup.root_width;
  // After a refill all 64 bits of the buffer are the stream's: a pair with its escapes and signs leaves a
  // whole first-level index after it (HuffmanLookup::longest_pair).
  in.refill();
  uint64_t peek = in.bits();
  for (int line = begin; line < end; line += 2) {
    uint64_t bits = in.bits();
    // The first level is looked up in the bits left by the last pair before the refill, which only fills in
    // below them: the next lookup does not wait for the refill.
    uint32_t e = entries[peek >> (64 - root_width)];
    if (e & (HuffmanLookup::kLink | HuffmanLookup::kGiveUp)) [[unlikely]] {
      e = lookup_code(entries, root_width, bits);
      if (e & HuffmanLookup::kGiveUp) {
        // A walk that gives up leaves the values as they were.
        in.consume(e & 63);
        in.refill();
        peek = in.bits();
        continue;
      }
    }
    const uint32_t code = (e >> 8) & 63;
    uint32_t x = (e >> 20) & 15, y = (e >> 16) & 15;
    bits <<= code;
    if constexpr (kEscapes) {
      const uint32_t x_extra = (e >> 24) & 15;
      x += static_cast<uint32_t>((bits >> 1) >> (63 - x_extra));  // the top x_extra bits
      bits <<= x_extra;
    }
    // The top bit as all ones or zeros: it is the sign of a value that is not 0, and 0 takes no sign.
    const int32_t x_sign = static_cast<int32_t>(static_cast<int64_t>(bits) >> 63);
    bits <<= x != 0;
    if constexpr (kEscapes) {
      const uint32_t y_extra = e >> 28;
      y += static_cast<uint32_t>((bits >> 1) >> (63 - y_extra));
      bits <<= y_extra;
    }
    const int32_t y_sign = static_cast<int32_t>(static_cast<int64_t>(bits) >> 63);
    quantised[line] = with_sign_mask(x, x_sign);
    quantised[line + 1] = with_sign_mask(y, y_sign);
    in.consume(e & 63);
    peek = in.bits();
    in.refill();
  }
  reader = in;
}

void decode_pairs(Bit_Reserve::Reader& in, unsigned select, int begin, int end, int32_t* quantised) {
  const HuffmanTable& table = huffman_tables[select];
  if (table.tree_length == 0) {
    std::fill(quantised + begin, quantised + end, 0);
    return;
  }
  if (table.tree == nullptr) return;  // the walker's "no tree": values left as they were
  if (table.linbits > 0)
    decode_pairs_with<true>(in, huffman_lookup(select), begin, end, quantised);
  else
    decode_pairs_with<false>(in, huffman_lookup(select), begin, end, quantised);
}

// One count1 quadruple by the general lookup from the top of `bits` (at least 32 valid): v, w, x, y, each
// sign bit following the code in turn for the values that are not 0. A walk that gives up yields zeros.
// Returns the bits used.
[[gnu::always_inline]] inline uint32_t quadruple_at(uint64_t bits, const HuffmanLookup& lookup,
                                                    int32_t (&values)[4]) {
  const uint32_t e = lookup_code(lookup.entries.data(), lookup.root_width, bits);
  const uint32_t value = e & HuffmanLookup::kGiveUp ? 0 : e >> 16;
  const uint64_t signs = bits << ((e >> 8) & 63);
  uint32_t taken = 0;
  for (int k = 0; k < 4; ++k) {
    const uint32_t magnitude = (value >> (3 - k)) & 1;
    values[k] = signed_value(magnitude, static_cast<uint32_t>((signs << taken) >> 63) & magnitude);
    taken += magnitude;
  }
  return e & 63;
}

// The count1 codes with their sign bits are at most 10 bits long: one lookup of the next 10 bits gives a
// whole quadruple. Entry: the bits used in bits 0..3, then v, w, x and y as 2-bit numbers (-1, 0 or 1) in
// bits 10..11, 8..9, 6..7 and 4..5; kLonger where a code needs more bits (none of the standard ones).
struct QuadrupleLookups {
  static constexpr int kWidth = 10;
  static constexpr uint16_t kLonger = 1u << 15;
  uint16_t entries[2][1u << kWidth];
  QuadrupleLookups() {
    for (unsigned select = 0; select < 2; ++select) {
      for (uint32_t pattern = 0; pattern < (1u << kWidth); ++pattern) {
        int32_t values[4];
        const uint32_t used =
            quadruple_at(uint64_t{pattern} << (64 - kWidth), huffman_lookup(32 + select), values);
        uint32_t entry = used <= kWidth ? used : kLonger;
        for (int k = 0; k < 4; ++k) entry |= (static_cast<uint32_t>(values[k]) & 3) << (10 - 2 * k);
        entries[select][pattern] = static_cast<uint16_t>(entry);
      }
    }
  }
};

const uint16_t* quadruple_lookup(unsigned select) {
  static const QuadrupleLookups lookups;
  return lookups.entries[select & 1];
}

// The count1 quadruples from `line` on while the granule's bits last; returns the line after the last.
int decode_quadruples(Bit_Reserve::Reader& reader, unsigned select, int32_t end_position, int line,
                      int32_t* quantised) {
  Bit_Reserve::Reader in = reader;  // a copy the loop keeps in registers
  const uint16_t* direct = quadruple_lookup(select);
  while (in.position() < end_position && line < 576) {
    in.refill();
    int32_t values[4];
    const uint32_t d = direct[in.bits() >> (64 - QuadrupleLookups::kWidth)];
    if (d & QuadrupleLookups::kLonger) [[unlikely]] {
      in.consume(quadruple_at(in.bits(), huffman_lookup(32 + select), values));
    } else {
      for (int k = 0; k < 4; ++k) values[k] = static_cast<int32_t>(d << (20 + 2 * k)) >> 30;
      in.consume(d & 15);
    }
    quantised[line] = values[0];
    quantised[line + 1] = values[1];
    if (line + 2 < 576) {
      quantised[line + 2] = values[2];
      quantised[line + 3] = values[3];
    }
    line += 4;
  }
  reader = in;
  return line;
}

}  // namespace

int decode_spectrum(Bit_Reserve& reservoir, const GranuleInfo& granule, const BandTable& bands,
                    int32_t part2_start, int32_t* quantised) {
  const int32_t part2_3_end = part2_start + static_cast<int32_t>(granule.part2_3_length);

  // Region boundaries in lines. Damaged side information cannot make them leave the band table.
  int region1 = short_band3_line(bands);
  int region2 = 576;
  if (!granule.short_block()) {
    region1 = bands.long_starts[std::min<uint32_t>(granule.region0_count + 1, 22)];
    region2 = bands.long_starts[std::min<uint32_t>(granule.region0_count + granule.region1_count + 2, 22)];
  }

  // Big values: at most 288 pairs fill the 576 lines. Regions are whole pairs (their starts are even).
  const int big_end = 2 * static_cast<int>(std::min<uint32_t>(granule.big_values, 288));
  Bit_Reserve::Reader in(reservoir, reservoir.bits_consumed());
  int line = 0;
  const int bounds[3] = {region1, region2, 576};
  for (int region = 0; region < 3 && line < big_end; ++region) {
    const int end = std::min(std::max(bounds[region], line), big_end);
    decode_pairs(in, granule.table_select[region] & 31, line, end, quantised);
    line = end;
  }

  // Count1 region: quadruples while the granule's bits last.
  line = decode_quadruples(in, granule.count1table_select & 1, part2_3_end, line, quantised);

  if (in.position() > part2_3_end) {
    // The last code word ran past the granule's end: it does not count, and reading resumes at the end.
    line = std::max(line - 4, 0);
  }
  // Bits left when all 576 lines are decoded are padding: reading resumes at the end either way.
  reservoir.set_bits_consumed(part2_3_end);
  line = std::min(line, 576);
  std::fill(quantised + line, quantised + 576, 0);
  while (line > 0 && quantised[line - 1] == 0) --line;
  return line;
}

}  // namespace vemla
