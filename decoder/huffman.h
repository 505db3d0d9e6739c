// Layer III Huffman decoding (ISO/IEC 11172-3, 2.4.2.7 and Table B.7): the 32 big-value tables and the two
// count1 tables as decoding trees, the tree walker, and the decoding of one channel's granule of spectrum.
#pragma once

#include <cstdint>

#include "bit_reservoir.h"
#include "layer3_side_info.h"
#include "scalefactor_bands.h"

namespace vemla {

// A decoding tree is an array of nodes of two bytes (first, second). A node whose first byte is 0 is a leaf
// with the value x * 16 + y (pair tables) or v * 8 + w * 4 + x * 2 + y (quadruple tables) in its second
// byte. In any other node the first byte is the forward distance, in nodes, to take after a 0 bit and the
// second the distance after a 1 bit. A distance of kHuffmanHop or more is a hop: the walker moves by it and
// reads the same side of the node it lands on, until it finds a distance below kHuffmanHop.
constexpr uint8_t kHuffmanHop = 250;

struct HuffmanTable {
  char name[4];       // the table number as decimal text: "0" to "33"
  uint32_t x_length;  // xlen; the escape value is x_length - 1
  uint32_t y_length;  // ylen
  uint32_t linbits;   // width of the escape extension
  uint32_t lin_max;   // 2^linbits - 1
  int32_t tree_of;    // -1, or the table whose tree this one shares
  const uint8_t (*tree)[2];
  uint32_t tree_length;  // nodes; 0 for the tables without codes (0, 4 and 14)
};

// Tables 0..31 (big values) and 32, 33 (count1 tables A and B); generated.
extern const HuffmanTable huffman_tables[34];

// Whether `table` is a count1 table, whose leaves are quadruples (v, w, x, y) rather than pairs.
inline bool is_quadruple_table(const HuffmanTable& table) {
  return table.name[0] == '3' && (table.name[1] == '2' || table.name[1] == '3');
}

enum HuffmanStatus { kHuffmanDecoded = 0, kHuffmanNoLeaf = 1, kHuffmanNoTree = 2 };

// Decodes one code word with its escape and sign bits: x and y for a pair table, v, w, x and y for a
// quadruple table. A walk that meets no leaf within 32 bits leaves the values as they were.
HuffmanStatus decode_huffman_pair(const HuffmanTable& table, int32_t& x, int32_t& y, int32_t& v, int32_t& w,
                                  Bit_Reserve& reservoir);
// What follows a code word once its leaf `value` is known, the same for the tree walk and the lookup tables:
// the four magnitudes of a quadruple with their sign bits, or x and y with their escapes and sign bits.
HuffmanStatus finish_huffman_pair(const HuffmanTable& table, uint32_t value, int32_t& x, int32_t& y, int32_t& v,
                                  int32_t& w, Bit_Reserve& reservoir);

// Decodes the Huffman-coded spectrum of one channel's granule into quantised[576] (line = subband * 18 +
// slot); `part2_start` is the reservoir clock where the granule's scale factors began. Afterwards the
// reservoir stands exactly at part2_start + part2_3_length, whatever the data held. The codes are looked
// up in tables built from the trees (huffman_lookup.h), with the results of decode_huffman_pair. Returns
// the number of lines up to the last one that is not 0: the lines from there on are all 0.
int decode_spectrum(Bit_Reserve& reservoir, const GranuleInfo& granule, const BandTable& bands,
                    int32_t part2_start, int32_t* quantised);

}  // namespace vemla
