// Huffman decoding by lookup against the tree walk: every code of every table, long random bit sequences
// (also across the reservoir ring's end), the walk's hops and its give-up after 32 bits, and whole granules
// of spectrum against a decoding of them code by code with the tree walker.
#include "huffman_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "layer3_frames.h"

namespace vemla {
namespace {

using test::BitWriter;
using test::reservoir_with;

// Every leaf of a tree with its code, found by walking it as the decoder does.
std::vector<std::pair<std::string, unsigned>> all_codes(const HuffmanTable& table) {
  std::vector<std::pair<std::string, unsigned>> codes;
  std::string path;
  std::function<void(uint32_t)> walk = [&](uint32_t node) {
    if (table.tree[node][0] == 0) {
      codes.emplace_back(path, table.tree[node][1]);
      return;
    }
    for (uint32_t side = 0; side < 2; ++side) {
      uint32_t next = node, distance = table.tree[node][side];
      while (distance >= kHuffmanHop) next += distance, distance = table.tree[next][side];
      path.push_back(static_cast<char>('0' + side));
      walk(next + distance);
      path.pop_back();
    }
  };
  walk(0);
  return codes;
}

struct Decoded {
  HuffmanStatus status;
  int32_t x, y, v, w;
  int32_t position;
  bool operator==(const Decoded&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Decoded& d) {
  return out << "status " << d.status << " (" << d.v << ", " << d.w << ", " << d.x << ", " << d.y
             << ") at bit " << d.position;
}

// One code from each of two copies of a reservoir, by the tree walk and by lookup.
std::pair<Decoded, Decoded> decode_both(const HuffmanTable& table, const HuffmanLookup& lookup,
                                        Bit_Reserve& walked, Bit_Reserve& looked_up) {
  Decoded a{}, b{};
  a.x = a.y = a.v = a.w = b.x = b.y = b.v = b.w = 77;  // left as they are when the walk gives up
  a.status = decode_huffman_pair(table, a.x, a.y, a.v, a.w, walked);
  b.status = lookup_huffman_pair(table, lookup, b.x, b.y, b.v, b.w, looked_up);
  a.position = walked.bits_consumed();
  b.position = looked_up.bits_consumed();
  return {a, b};
}

TEST(HuffmanLookup, EveryCodeOfEveryTableWithEscapesAndSigns) {
  std::mt19937 random(11);
  int codes = 0;
  for (unsigned t = 0; t < 34; ++t) {
    const HuffmanTable& table = huffman_tables[t];
    if (table.tree_length == 0) continue;
    for (const auto& [code, value] : all_codes(table)) {
      // Escape bits all ones and all zeros, and each sign both ways, then bits that belong to the next code.
      for (int variant = 0; variant < 4; ++variant) {
        BitWriter bits;
        bits.put_code(code);
        for (int i = 0; i < 4; ++i) {
          if (table.linbits) bits.put(variant & 1 ? table.lin_max : 0, static_cast<int>(table.linbits));
          bits.put((variant >> 1) ^ (i & 1), 1);
        }
        bits.put(random(), 32);
        Bit_Reserve walked = reservoir_with(bits), looked_up = reservoir_with(bits);
        const auto [want, got] = decode_both(table, huffman_lookup(t), walked, looked_up);
        ASSERT_EQ(got, want) << "table " << t << " code " << code << " value " << value;
        ASSERT_EQ(want.status, kHuffmanDecoded);
        // The spectrum decoder looks up the next code in what a whole pair leaves of 64 bits.
        ASSERT_LE(want.position + huffman_lookup(t).root_width, 64) << "table " << t << " code " << code;
        ASSERT_LE(want.position, huffman_lookup(t).longest_pair) << "table " << t << " code " << code;
        ++codes;
      }
    }
  }
  // Tables 1..33 less 4 and 14, each tree's codes once per table that uses it, four variants each.
  EXPECT_EQ(codes, 4 * (4 + 9 + 9 + 16 * 2 + 36 * 3 + 64 * 3 + 256 * 2 + 256 * 16 + 16 * 2));
}

// Random bytes filling the whole ring, read from near its end so that codes straddle the wrap.
TEST(HuffmanLookup, LongRandomSequencesAcrossTheRingsEnd) {
  std::mt19937 random(5);
  std::vector<uint8_t> bytes(Bit_Reserve::kRingBytes);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  for (unsigned t = 1; t < 34; ++t) {
    const HuffmanTable& table = huffman_tables[t];
    if (table.tree_length == 0) continue;
    Bit_Reserve walked, looked_up;
    walked.append_bytes(bytes.data(), static_cast<int>(bytes.size()));
    looked_up.append_bytes(bytes.data(), static_cast<int>(bytes.size()));
    const uint32_t start = 8 * Bit_Reserve::kRingBytes - 2000 + t * 37;
    walked.skip_bits(start);
    looked_up.skip_bits(start);
    for (int code = 0; code < 3000; ++code) {
      const auto [want, got] = decode_both(table, huffman_lookup(t), walked, looked_up);
      ASSERT_EQ(got, want) << "table " << t << ", code " << code;
    }
    EXPECT_GT(walked.bits_consumed(), static_cast<int32_t>(start + 3000));
  }
}

// Lookups whose first level is narrower than the codes: every code goes through several levels.
TEST(HuffmanLookup, NarrowFirstLevelsGiveTheSameCodes) {
  std::mt19937 random(3);
  for (unsigned t : {1u, 7u, 13u, 15u, 16u, 24u, 32u}) {
    for (int root_width : {1, 3, 5, 12}) {
      const HuffmanLookup lookup = build_huffman_lookup(huffman_tables[t], root_width);
      BitWriter bits;
      for (int i = 0; i < 20000; ++i) bits.put(random() & 1, 1);
      Bit_Reserve walked = reservoir_with(bits), looked_up = reservoir_with(bits);
      for (int code = 0; code < 1000; ++code) {
        const auto [want, got] = decode_both(huffman_tables[t], lookup, walked, looked_up);
        ASSERT_EQ(got, want) << "table " << t << ", first level " << root_width << ", code " << code;
      }
    }
  }
}

TEST(HuffmanLookup, HopsAndTheGiveUpAfter32Bits) {
  // "0" is the leaf (0, 0) at node 1; "1" hops 250 nodes to node 250, whose side 1 leads 3 nodes further.
  static uint8_t hop_tree[254][2] = {};
  hop_tree[0][0] = 1, hop_tree[0][1] = 250;
  hop_tree[250][0] = 1, hop_tree[250][1] = 3;
  hop_tree[251][1] = 0x10;
  hop_tree[253][1] = 0x11;
  const HuffmanTable hop = {"1", 2, 2, 0, 0, -1, hop_tree, 254};
  // A chain of 40 inner nodes whose leaf lies beyond 32 bits, and one whose leaf is reached by bit 32.
  static uint8_t chain[41][2], short_chain[33][2];
  for (auto& node : chain) node[0] = node[1] = 1;
  chain[40][0] = 0;
  for (auto& node : short_chain) node[0] = node[1] = 1;
  short_chain[32][0] = 0, short_chain[32][1] = 0x11;
  const HuffmanTable endless = {"1", 2, 2, 0, 0, -1, chain, 41};
  const HuffmanTable deep = {"1", 2, 2, 0, 0, -1, short_chain, 33};

  std::mt19937 random(9);
  for (const HuffmanTable* table : {&hop, &endless, &deep}) {
    const HuffmanLookup lookup = build_huffman_lookup(*table);
    BitWriter bits;
    for (int i = 0; i < 4000; ++i) bits.put(random() & 1, 1);
    Bit_Reserve walked = reservoir_with(bits), looked_up = reservoir_with(bits);
    for (int code = 0; code < 100; ++code) {
      const auto [want, got] = decode_both(*table, lookup, walked, looked_up);
      ASSERT_EQ(got, want) << "tree of " << table->tree_length << " nodes, code " << code;
    }
  }
  Bit_Reserve zeros = reservoir_with(BitWriter()), unused;
  const auto [want, got] = decode_both(endless, build_huffman_lookup(endless), unused, zeros);
  EXPECT_EQ(got.status, kHuffmanNoLeaf);
  EXPECT_EQ(got.x, 77);
  EXPECT_EQ(got.position, 32);

  const HuffmanTable no_tree = {"1", 2, 2, 0, 0, -1, nullptr, 7};
  int32_t x = 0, y = 0, v = 0, w = 0;
  EXPECT_EQ(lookup_huffman_pair(no_tree, HuffmanLookup(), x, y, v, w, zeros), kHuffmanNoTree);
  EXPECT_EQ(lookup_huffman_pair(huffman_tables[4], huffman_lookup(4), x, y, v, w, zeros), kHuffmanDecoded);
  EXPECT_EQ(zeros.bits_consumed(), 32);
}

// decode_spectrum as the tree walk does it, code by code: the reference for the lookup decoding.
void walked_spectrum(Bit_Reserve& reservoir, const GranuleInfo& granule, const BandTable& bands,
                     int32_t part2_start, int32_t* quantised) {
  const int32_t end = part2_start + static_cast<int32_t>(granule.part2_3_length);
  int region1 = short_band3_line(bands), region2 = 576;
  if (!granule.short_block()) {
    region1 = bands.long_starts[std::min<uint32_t>(granule.region0_count + 1, 22)];
    region2 = bands.long_starts[std::min<uint32_t>(granule.region0_count + granule.region1_count + 2, 22)];
  }
  const int big_end = 2 * static_cast<int>(std::min<uint32_t>(granule.big_values, 288));
  int line = 0;
  int32_t v, w;
  for (; line < big_end; line += 2) {
    const uint32_t select = line < region1   ? granule.table_select[0]
                            : line < region2 ? granule.table_select[1]
                                             : granule.table_select[2];
    decode_huffman_pair(huffman_tables[select & 31], quantised[line], quantised[line + 1], v, w, reservoir);
  }
  const HuffmanTable& count1 = huffman_tables[32 + (granule.count1table_select & 1)];
  while (reservoir.bits_consumed() < end && line < 576) {
    int32_t x = 0, y = 0;
    v = w = 0;
    decode_huffman_pair(count1, x, y, v, w, reservoir);
    quantised[line] = v, quantised[line + 1] = w;
    if (line + 2 < 576) quantised[line + 2] = x, quantised[line + 3] = y;
    line += 4;
  }
  if (reservoir.bits_consumed() > end) {
    reservoir.unread_bits(static_cast<uint32_t>(reservoir.bits_consumed() - end));
    line = std::max(line - 4, 0);
  } else if (reservoir.bits_consumed() < end) {
    reservoir.skip_bits(static_cast<uint32_t>(end - reservoir.bits_consumed()));
  }
  std::fill(quantised + std::min(line, 576), quantised + 576, 0);
}

// Every count1 quadruple of both tables with every choice of signs, one after another, and escapes at
// both ends of every width: each value as written, and the reading ends where the bits do.
TEST(HuffmanLookup, EveryQuadrupleAndEscapeInAGranule) {
  for (unsigned select = 0; select < 2; ++select) {
    BitWriter bits;
    std::vector<int32_t> written;
    for (int v = -1; v <= 1; ++v)
      for (int w = -1; w <= 1; ++w)
        for (int x = -1; x <= 1; ++x)
          for (int y = -1; y <= 1; ++y) {
            test::put_quadruple(bits, select, v, w, x, y);
            written.insert(written.end(), {v, w, x, y});
          }
    GranuleInfo g;
    g.count1table_select = select;
    g.part2_3_length = static_cast<uint32_t>(bits.bit_count());
    Bit_Reserve reservoir = reservoir_with(bits);
    int32_t got[576];
    decode_spectrum(reservoir, g, band_table[3], 0, got);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), got)) << "table " << 32 + select;
    EXPECT_EQ(reservoir.bits_consumed(), static_cast<int32_t>(bits.bit_count()));
  }
  for (unsigned t = 16; t < 32; ++t) {
    // (15 + escape, y) pairs: the escape all zeros, all ones and one of each end, either sign, y small.
    const HuffmanTable& table = huffman_tables[t];
    const std::string escape_code = test::huffman_code(table, 15 * 16 + 1);
    BitWriter bits;
    std::vector<int32_t> written;
    for (uint32_t extension : {0u, table.lin_max, 1u, table.lin_max >> 1, 1u << (table.linbits - 1)}) {
      for (int sign = 0; sign < 2; ++sign) {
        bits.put_code(escape_code);
        bits.put(extension, static_cast<int>(table.linbits));
        bits.put(static_cast<uint32_t>(sign), 1);
        bits.put(static_cast<uint32_t>(1 - sign), 1);  // y = 1 with the other sign
        const int32_t x = static_cast<int32_t>(15 + extension);
        written.insert(written.end(), {sign ? -x : x, sign ? 1 : -1});
      }
    }
    GranuleInfo g;
    g.big_values = static_cast<uint32_t>(written.size() / 2);
    g.table_select[0] = g.table_select[1] = g.table_select[2] = t;
    g.region0_count = 15, g.region1_count = 7;
    g.part2_3_length = static_cast<uint32_t>(bits.bit_count());
    Bit_Reserve reservoir = reservoir_with(bits);
    int32_t got[576];
    decode_spectrum(reservoir, g, band_table[3], 0, got);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), got)) << "table " << t;
    EXPECT_EQ(reservoir.bits_consumed(), static_cast<int32_t>(bits.bit_count())) << "table " << t;
  }
}

// Random side information over random main data: real granules mostly use few bits for many lines, so
// the data is drawn to make small values likely, and part2_3_length ranges from too short to too long.
TEST(HuffmanLookup, WholeGranulesMatchTheTreeWalk) {
  std::mt19937 random(21);
  const auto draw = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  std::vector<uint8_t> bytes(Bit_Reserve::kRingBytes);
  for (int trial = 0; trial < 3000; ++trial) {
    const uint32_t density = draw(4);  // ones are rare to common
    for (uint8_t& b : bytes) {
      b = 0;
      for (int bit = 0; bit < 8; ++bit) b = static_cast<uint8_t>(b << 1 | (draw(4) < density));
    }
    GranuleInfo g;
    g.part2_3_length = draw(4096);
    g.big_values = draw(8) == 0 ? draw(512) : draw(200);
    g.window_switching_flag = draw(4) == 0;
    g.block_type = g.window_switching_flag ? 1 + draw(3) : 0;
    g.mixed_block_flag = g.window_switching_flag ? draw(2) : 0;
    for (uint32_t& t : g.table_select) t = draw(32);
    g.region0_count = draw(16), g.region1_count = draw(8);
    g.count1table_select = draw(2);
    const BandTable& bands = band_table[draw(9)];

    Bit_Reserve walked, looked_up;
    walked.append_bytes(bytes.data(), static_cast<int>(bytes.size()));
    looked_up.append_bytes(bytes.data(), static_cast<int>(bytes.size()));
    const uint32_t start = draw(8 * Bit_Reserve::kRingBytes);  // reading wraps round the ring
    walked.skip_bits(start), looked_up.skip_bits(start);
    const int32_t part2_start = static_cast<int32_t>(start) - static_cast<int32_t>(draw(60));

    int32_t want[576], got[576];
    for (int i = 0; i < 576; ++i) want[i] = got[i] = i * 7 - 1000;  // the previous granule's values
    walked_spectrum(walked, g, bands, part2_start, want);
    const int extent = decode_spectrum(looked_up, g, bands, part2_start, got);
    ASSERT_TRUE(std::equal(want, want + 576, got)) << "trial " << trial;
    ASSERT_EQ(looked_up.bits_consumed(), walked.bits_consumed()) << "trial " << trial;
    // The extent: the last line that is not 0, plus one.
    ASSERT_TRUE(std::all_of(got + extent, got + 576, [](int32_t q) { return q == 0; })) << "trial " << trial;
    ASSERT_TRUE(extent == 0 || got[extent - 1] != 0) << "trial " << trial;
  }
}

}  // namespace
}  // namespace vemla
