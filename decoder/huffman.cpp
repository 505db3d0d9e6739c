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
  const uint32_t value = table.tree[node][1];

  if (table.name[0] == '3' && (table.name[1] == '2' || table.name[1] == '3')) {
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

// The big-value pairs of lines [begin, end) with one table, read from `position` on by lookup.
void decode_pairs(const Bit_Reserve& reservoir, int32_t& position, unsigned select, int begin, int end,
                  int32_t* quantised) {
  const HuffmanTable& table = huffman_tables[select];
  if (table.tree_length == 0) {
    std::fill(quantised + begin, quantised + end, 0);
    return;
  }
  if (table.tree == nullptr) return;  // the walker's "no tree": values left as they were
  const HuffmanLookup& lookup = huffman_lookup(select);
  const uint32_t* entries = lookup.entries.data();
  const int root_width = lookup.root_width;
  const uint32_t linbits = table.linbits;
  const uint32_t x_escape = linbits > 0 ? table.x_length - 1 : ~0u;
  const uint32_t y_escape = linbits > 0 ? table.y_length - 1 : ~0u;
  // Code, escapes and signs come from one peek unless a long code leaves too few bits for two escapes.
  const uint32_t refill_after = Bit_Reserve::kPeekBits - 2 * (linbits + 1);
  int32_t pos = position;
  for (int line = begin; line < end; line += 2) {
    uint64_t bits = reservoir.peek_bits(pos);
    const uint32_t e = lookup_code(entries, root_width, bits);
    uint32_t used = (e >> 8) & 63;
    if (e & HuffmanLookup::kGiveUp) [[unlikely]] {
      pos += static_cast<int32_t>(used);  // no leaf within 32 bits: values left as they were
      continue;
    }
    if (used > refill_after) [[unlikely]] {
      pos += static_cast<int32_t>(used);
      used = 0;
      bits = reservoir.peek_bits(pos);
    } else {
      bits <<= used;
    }
    uint32_t x = (e >> 4) & 15, y = e & 15;
    // Escape, then sign, for x and then for y; a sign bit only follows a value that is not 0.
    if (x == x_escape) {
      x += static_cast<uint32_t>(bits >> (64 - linbits));
      bits <<= linbits, used += linbits;
    }
    const uint32_t x_signed = x != 0;
    const uint32_t x_negative = static_cast<uint32_t>(bits >> 63) & x_signed;
    bits <<= x_signed, used += x_signed;
    if (y == y_escape) {
      y += static_cast<uint32_t>(bits >> (64 - linbits));
      bits <<= linbits, used += linbits;
    }
    const uint32_t y_signed = y != 0;
    const uint32_t y_negative = static_cast<uint32_t>(bits >> 63) & y_signed;
    used += y_signed;
    quantised[line] = static_cast<int32_t>((x ^ -x_negative) + x_negative);
    quantised[line + 1] = static_cast<int32_t>((y ^ -y_negative) + y_negative);
    pos += static_cast<int32_t>(used);
  }
  position = pos;
}

// The count1 quadruples from `line` on while the granule's bits last; returns the line after the last.
int decode_quadruples(const Bit_Reserve& reservoir, int32_t& position, unsigned select, int32_t end_position,
                      int line, int32_t* quantised) {
  const HuffmanLookup& lookup = huffman_lookup(32 + select);
  const uint32_t* entries = lookup.entries.data();
  const int root_width = lookup.root_width;
  int32_t pos = position;
  while (pos < end_position && line < 576) {
    uint64_t bits = reservoir.peek_bits(pos);
    const uint32_t e = lookup_code(entries, root_width, bits);
    uint32_t used = (e >> 8) & 63;
    int32_t values[4] = {0, 0, 0, 0};  // v, w, x, y; zero when the walk gives up
    if (!(e & HuffmanLookup::kGiveUp)) [[likely]] {
      bits <<= used;
      for (int i = 0; i < 4; ++i) {
        const uint32_t magnitude = (e >> (3 - i)) & 1;
        const uint32_t negative = static_cast<uint32_t>(bits >> 63) & magnitude;
        bits <<= magnitude, used += magnitude;
        values[i] = static_cast<int32_t>((magnitude ^ -negative) + negative);
      }
    }
    quantised[line] = values[0];
    quantised[line + 1] = values[1];
    if (line + 2 < 576) {
      quantised[line + 2] = values[2];
      quantised[line + 3] = values[3];
    }
    line += 4;
    pos += static_cast<int32_t>(used);
  }
  position = pos;
  return line;
}

}  // namespace

int decode_spectrum(Bit_Reserve& reservoir, const GranuleInfo& granule, const BandTable& bands,
                    int32_t part2_start, int32_t* quantised) {
  const int32_t part2_3_end = part2_start + static_cast<int32_t>(granule.part2_3_length);

  // Region boundaries in lines. Damaged side information cannot make them leave the band table.
  int region1 = 36;
  int region2 = 576;
  if (!granule.short_block()) {
    region1 = bands.long_starts[std::min<uint32_t>(granule.region0_count + 1, 22)];
    region2 = bands.long_starts[std::min<uint32_t>(granule.region0_count + granule.region1_count + 2, 22)];
  }

  // Big values: at most 288 pairs fill the 576 lines. Regions are whole pairs (their starts are even).
  const int big_end = 2 * static_cast<int>(std::min<uint32_t>(granule.big_values, 288));
  int32_t position = reservoir.bits_consumed();
  int line = 0;
  const int bounds[3] = {region1, region2, 576};
  for (int region = 0; region < 3 && line < big_end; ++region) {
    const int end = std::min(std::max(bounds[region], line), big_end);
    decode_pairs(reservoir, position, granule.table_select[region] & 31, line, end, quantised);
    line = end;
  }

  // Count1 region: quadruples while the granule's bits last.
  line = decode_quadruples(reservoir, position, granule.count1table_select & 1, part2_3_end, line, quantised);

  if (position > part2_3_end) {
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
