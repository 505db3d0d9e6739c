// Huffman decoding: the generated trees against the standard's code tables, the tree walker, and the
// decoding of a granule's spectrum with its region, count1 and end-of-data rules.
#include "huffman.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "layer3_frames.h"

namespace vemla {
namespace {

using test::BitWriter;
using test::put_pair;
using test::put_quadruple;
using test::reservoir_with;

// ISO/IEC 11172-3 Table B.7 as checked plain data: every code of every table, through the tree walker,
// with escape and sign bits, gives its x and y and uses exactly its bits.
TEST(HuffmanTables, EveryCodeDecodesToItsValues) {
  const std::filesystem::path file = std::filesystem::path(VEMLA_TABLES_DIR) / "huffman_codes.txt";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "table data not found: " << file;
  std::ifstream in(file);
  std::string line;
  int table = -1, codes = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    if (line.rfind("table", 0) == 0) {
      std::string word;
      unsigned xlen, ylen;
      fields >> word >> table >> xlen >> ylen;
      EXPECT_EQ(huffman_tables[table].x_length, xlen) << table;
      EXPECT_EQ(huffman_tables[table].y_length, ylen) << table;
      continue;
    }
    int x, y, length;
    std::string code;
    fields >> x >> y >> length >> code;
    const int last = table == 16 ? 23 : table == 24 ? 31 : table;  // tables sharing the tree
    for (int t = table; t <= last; ++t) {
      const HuffmanTable& h = huffman_tables[t];
      const bool quadruple = t >= 32;
      const int escape = static_cast<int>(h.lin_max);  // the widest escape extension where x or y is 15
      BitWriter bits;
      bits.put_code(code);
      int expect_x = x, expect_y = y;
      if (quadruple) {
        for (int b = 3; b >= 0; --b)
          if ((y >> b) & 1) bits.put(1, 1);  // all negative
      } else {
        if (h.linbits && x == 15) bits.put(escape, h.linbits), expect_x += escape;
        if (x) bits.put(1, 1), expect_x = -expect_x;
        if (h.linbits && y == 15) bits.put(escape, h.linbits), expect_y += escape;
        if (y) bits.put(0, 1);
      }
      Bit_Reserve r = reservoir_with(bits);
      int32_t dx = 99, dy = 99, v = 99, w = 99;
      ASSERT_EQ(decode_huffman_pair(h, dx, dy, v, w, r), kHuffmanDecoded);
      EXPECT_EQ(r.bits_consumed(), static_cast<int32_t>(bits.bit_count()))
          << "table " << t << " code " << code;
      if (quadruple) {
        EXPECT_EQ((-v) * 8 + (-w) * 4 + (-dx) * 2 + (-dy), y) << "table " << t << " code " << code;
      } else {
        EXPECT_EQ(dx, expect_x) << "table " << t << " code " << code;
        EXPECT_EQ(dy, expect_y) << "table " << t << " code " << code;
      }
      ++codes;
    }
  }
  EXPECT_EQ(codes, 4 + 9 + 9 + 16 * 2 + 36 * 3 + 64 * 3 + 256 * 2 + 256 * 16 + 16 * 2);
}

TEST(HuffmanTables, SharedTreesAndTablesWithoutCodes) {
  for (int t : {0, 4, 14}) EXPECT_EQ(huffman_tables[t].tree_length, 0u) << t;
  for (int t = 17; t <= 23; ++t) EXPECT_EQ(huffman_tables[t].tree, huffman_tables[16].tree) << t;
  for (int t = 25; t <= 31; ++t) EXPECT_EQ(huffman_tables[t].tree, huffman_tables[24].tree) << t;
  const unsigned linbits[16] = {1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
  for (int t = 16; t <= 31; ++t) EXPECT_EQ(huffman_tables[t].linbits, linbits[t - 16]) << t;
}

TEST(HuffmanWalker, FollowsHopsAndGivesUpAfter32Bits) {
  // "0" is the leaf (0, 0) at node 1; "1" hops 250 nodes to node 250, whose side 1 leads 3 nodes further.
  static uint8_t hop_tree[254][2] = {};
  hop_tree[0][0] = 1, hop_tree[0][1] = 250;
  hop_tree[250][0] = 1, hop_tree[250][1] = 3;
  hop_tree[253][1] = 0x11;
  const HuffmanTable hop = {"1", 2, 2, 0, 0, -1, hop_tree, 254};
  BitWriter bits;
  bits.put_code(
      "1"
      "10"
      "0");  // (1, 1) with signs -, +, then (0, 0)
  Bit_Reserve r = reservoir_with(bits);
  int32_t x = 0, y = 0, v = 0, w = 0;
  EXPECT_EQ(decode_huffman_pair(hop, x, y, v, w, r), kHuffmanDecoded);
  EXPECT_EQ(x, -1);
  EXPECT_EQ(y, 1);
  decode_huffman_pair(hop, x, y, v, w, r);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(r.bits_consumed(), 4);

  // A chain of 40 inner nodes: no leaf within 32 bits.
  static uint8_t chain[41][2];
  for (auto& node : chain) node[0] = node[1] = 1;
  chain[40][0] = 0;
  const HuffmanTable endless = {"1", 2, 2, 0, 0, -1, chain, 41};
  Bit_Reserve zeros = reservoir_with(BitWriter());
  x = y = 7;
  EXPECT_EQ(decode_huffman_pair(endless, x, y, v, w, zeros), kHuffmanNoLeaf);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(zeros.bits_consumed(), 32);

  const HuffmanTable no_tree = {"1", 2, 2, 0, 0, -1, nullptr, 7};
  EXPECT_EQ(decode_huffman_pair(no_tree, x, y, v, w, zeros), kHuffmanNoTree);
  for (int t : {0, 4, 14}) {
    EXPECT_EQ(decode_huffman_pair(huffman_tables[t], x, y, v, w, zeros), kHuffmanDecoded);
    EXPECT_EQ(x | y, 0);
  }
  EXPECT_EQ(zeros.bits_consumed(), 32);
}

TEST(HuffmanWalker, EscapesThenSigns) {
  BitWriter bits;
  bits.put_code(test::huffman_code(huffman_tables[16], 15 * 16 + 3));
  bits.put_code(
      "1"
      "1"
      "0");                             // x escape 1, x negative, y positive (3 takes no escape)
  put_quadruple(bits, 0, 0, 0, 1, -1);  // two sign bits only
  Bit_Reserve r = reservoir_with(bits);
  int32_t x, y, v, w;
  decode_huffman_pair(huffman_tables[16], x, y, v, w, r);
  EXPECT_EQ(x, -16);
  EXPECT_EQ(y, 3);
  decode_huffman_pair(huffman_tables[32], x, y, v, w, r);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, -1);
  EXPECT_EQ(r.bits_consumed(), static_cast<int32_t>(bits.bit_count()));
}

class DecodeSpectrum : public testing::Test {
 protected:
  void decode(const BitWriter& bits, int32_t part2_bits = 0) {
    granule.part2_3_length = static_cast<uint32_t>(bits.bit_count()) - ahead;
    reservoir = reservoir_with(bits);
    reservoir.take_bits(part2_bits);  // the scale factors
    std::fill(std::begin(q), std::end(q), 12345);
    decode_spectrum(reservoir, granule, band_table[3], 0, q);
    EXPECT_EQ(reservoir.bits_consumed(), static_cast<int32_t>(granule.part2_3_length));
  }
  GranuleInfo granule;
  Bit_Reserve reservoir;
  int32_t q[576];
  uint32_t ahead = 0;  // bits that follow the granule's data
};

TEST_F(DecodeSpectrum, Count1RegionStartsAtLineZeroWithoutBigValues) {
  BitWriter bits;
  put_quadruple(bits, 0, 1, 0, -1, 1);
  put_quadruple(bits, 0, 0, 1, 0, 0);
  decode(bits);
  EXPECT_EQ(std::vector<int32_t>(q, q + 9), (std::vector<int32_t>{1, 0, -1, 1, 0, 1, 0, 0, 0}));
  EXPECT_EQ(std::count(q, q + 576, 0), 576 - 4);
}

TEST_F(DecodeSpectrum, ScaleFactorsUsingAllBitsLeaveTheSpectrumZero) {
  BitWriter bits;
  bits.put(0x3FF, 10);
  decode(bits, 10);
  EXPECT_EQ(std::count(q, q + 576, 0), 576);
}

TEST_F(DecodeSpectrum, QuadrupleRunningPastTheEndIsTakenBack) {
  BitWriter bits;
  put_quadruple(bits, 1, 1, 1, 1, 1);  // table B: 4 bits and 4 signs
  put_quadruple(bits, 1, -1, 0, 0, 1);
  ahead = 3;  // the second quadruple's last sign bits lie beyond the granule
  granule.count1table_select = 1;
  decode(bits);
  EXPECT_EQ(std::vector<int32_t>(q, q + 8), (std::vector<int32_t>{1, 1, 1, 1, 0, 0, 0, 0}));
}

TEST_F(DecodeSpectrum, Count1AtLine574KeepsTwoValuesAndSkipsTheRest) {
  granule.big_values = 287;  // lines 0..573
  granule.table_select[0] = granule.table_select[1] = granule.table_select[2] = 1;
  BitWriter bits;
  for (int i = 0; i < 287; ++i) put_pair(bits, huffman_tables[1], i == 0 ? -1 : 0, 0);
  put_quadruple(bits, 0, 1, -1, 1, 1);          // x and y are read, with their signs, but not stored
  for (int i = 0; i < 45; ++i) bits.put(1, 1);  // more bits than lines: skipped
  decode(bits);
  EXPECT_EQ(q[0], -1);
  EXPECT_EQ(q[574], 1);
  EXPECT_EQ(q[575], -1);
  EXPECT_EQ(std::count(q, q + 576, 0), 573);
}

TEST_F(DecodeSpectrum, RegionsTakeTheirTables) {
  // 44.1 kHz: region 1 starts at long band 1 (line 4), region 2 at band 3 (line 12); region 1 uses table 0.
  granule.big_values = 8;
  granule.table_select[0] = 1, granule.table_select[1] = 0, granule.table_select[2] = 2;
  granule.region0_count = 0, granule.region1_count = 1;
  BitWriter bits;
  put_pair(bits, huffman_tables[1], 1, 1);
  put_pair(bits, huffman_tables[1], 0, -1);
  put_pair(bits, huffman_tables[2], 2, 1);
  put_pair(bits, huffman_tables[2], -2, 2);
  decode(bits);
  EXPECT_EQ(std::vector<int32_t>(q, q + 18),
            (std::vector<int32_t>{1, 1, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, -2, 2, 0, 0}));
}

TEST_F(DecodeSpectrum, DamagedSideInformationStaysInsideTheSpectrum) {
  granule.big_values = 511;
  granule.region0_count = 15, granule.region1_count = 7;
  for (uint32_t& t : granule.table_select) t = 24;
  BitWriter bits;
  for (int i = 0; i < 3000; ++i) bits.put(i * 2654435761u >> 31, 1);
  decode(bits);
}

}  // namespace
}  // namespace vemla
