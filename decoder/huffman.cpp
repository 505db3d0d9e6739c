#include "huffman.h"

#include <algorithm>

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

void decode_spectrum(Bit_Reserve& reservoir, const GranuleInfo& granule, const BandTable& bands,
                     int32_t part2_start, int32_t* quantised) {
  const int32_t part2_3_end = part2_start + static_cast<int32_t>(granule.part2_3_length);

  // Region boundaries in lines. Damaged side information cannot make them leave the band table.
  int region1 = 36;
  int region2 = 576;
  if (!granule.short_block()) {
    region1 = bands.long_starts[std::min<uint32_t>(granule.region0_count + 1, 22)];
    region2 = bands.long_starts[std::min<uint32_t>(granule.region0_count + granule.region1_count + 2, 22)];
  }

  // Big values: at most 288 pairs fill the 576 lines.
  const int big_end = 2 * static_cast<int>(std::min<uint32_t>(granule.big_values, 288));
  int line = 0;
  int32_t v, w;
  for (; line < big_end; line += 2) {
    const uint32_t select = line < region1   ? granule.table_select[0]
                            : line < region2 ? granule.table_select[1]
                                             : granule.table_select[2];
    decode_huffman_pair(huffman_tables[select & 31], quantised[line], quantised[line + 1], v, w, reservoir);
  }

  // Count1 region: quadruples while the granule's bits last.
  const HuffmanTable& count1 = huffman_tables[32 + (granule.count1table_select & 1)];
  while (reservoir.bits_consumed() < part2_3_end && line < 576) {
    int32_t x = 0, y = 0;
    v = w = 0;
    decode_huffman_pair(count1, x, y, v, w, reservoir);
    quantised[line] = v;
    quantised[line + 1] = w;
    if (line + 2 < 576) {
      quantised[line + 2] = x;
      quantised[line + 3] = y;
    }
    line += 4;
  }

  if (reservoir.bits_consumed() > part2_3_end) {
    // The last code word ran past the granule's end: it does not count, and reading resumes at the end.
    reservoir.unread_bits(static_cast<uint32_t>(reservoir.bits_consumed() - part2_3_end));
    line = std::max(line - 4, 0);
  } else if (reservoir.bits_consumed() < part2_3_end) {
    // All 576 lines are decoded and bits remain: they are padding.
    reservoir.skip_bits(static_cast<uint32_t>(part2_3_end - reservoir.bits_consumed()));
  }
  std::fill(quantised + std::min(line, 576), quantised + 576, 0);
}

}  // namespace vemla
