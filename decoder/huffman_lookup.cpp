#include "huffman_lookup.h"

#include <algorithm>
#include <bit>
#include <map>
#include <stdexcept>
#include <utility>

namespace vemla {
namespace {

// Widest level below the first: most codes end in the first level, and narrow further levels keep the
// tables of the 19-bit codes small.
constexpr int kSubWidth = 6;
// The tree walk gives up after this many bits without a leaf.
constexpr int kGiveUpBits = 32;

class LookupBuilder {
 public:
  LookupBuilder(const HuffmanTable& table, std::vector<uint32_t>& entries)
      : table_(table),
        entries_(entries),
        depth_memo_(table.tree_length * (kGiveUpBits + 1), -1),
        quadruple_(is_quadruple_table(table)) {}

  // The level for the subtree at `node`, reached after `depth` bits; returns its first entry.
  uint32_t level(uint32_t node, int depth, int width) {
    const auto key = std::make_pair(node, depth);
    if (const auto found = levels_.find(key); found != levels_.end()) return found->second;
    const size_t first = entries_.size();
    if (first + (size_t{1} << width) > 0x10000) throw std::length_error("Huffman lookup too large");
    levels_[key] = static_cast<uint32_t>(first);
    entries_.resize(first + (size_t{1} << width));
    fill(node, depth, width, 0, 0, first);
    return static_cast<uint32_t>(first);
  }

  // The level's entries for the patterns that start with the `steps` bits `prefix` and lead to `n`: a leaf
  // or a give-up covers all of them; below the level's width the walk goes on in both children, in pattern
  // order, so that further levels are laid out in the order their first pattern reaches them.
  void fill(uint32_t n, int depth, int width, int steps, uint32_t prefix, size_t first) {
    uint32_t entry;
    if (leaf(n)) {
      const uint32_t value = table_.tree[n][1];
      entry = escape_widths(value) << 24 | value << 16 | static_cast<uint32_t>(steps) << 8 |
              (static_cast<uint32_t>(steps) + sign_bits(value) + escape_bits(value));
    } else if (depth + steps == kGiveUpBits) {
      entry = HuffmanLookup::kGiveUp | static_cast<uint32_t>(steps) << 8 | static_cast<uint32_t>(steps);
    } else if (steps == width) {
      const int next_width = std::min(kSubWidth, max_depth(n, kGiveUpBits - depth - steps));
      const uint32_t next = level(n, depth + steps, next_width);
      entry = HuffmanLookup::kLink | next << 16 | static_cast<uint32_t>(width) << 8 |
              static_cast<uint32_t>(next_width);
    } else {
      fill(child(n, 0), depth, width, steps + 1, prefix << 1, first);
      fill(child(n, 1), depth, width, steps + 1, prefix << 1 | 1, first);
      return;
    }
    const size_t from = first + (size_t{prefix} << (width - steps));
    std::fill_n(entries_.begin() + static_cast<std::ptrdiff_t>(from), size_t{1} << (width - steps), entry);
  }

  // Bits from `node` to its deepest leaf, counting at most `budget`.
  int max_depth(uint32_t node, int budget) {
    if (leaf(node) || budget == 0) return 0;
    int& memo = depth_memo_[node * (kGiveUpBits + 1) + static_cast<uint32_t>(budget)];
    if (memo < 0)
      memo = 1 + std::max(max_depth(child(node, 0), budget - 1), max_depth(child(node, 1), budget - 1));
    return memo;
  }

 private:
  bool leaf(uint32_t node) const { return table_.tree[node][0] == 0; }
  // One sign bit follows each value that is not 0.
  uint32_t sign_bits(uint32_t value) const {
    if (quadruple_) return static_cast<uint32_t>(std::popcount(value & 15));
    return ((value >> 4) != 0) + ((value & 15) != 0);
  }
  // linbits bits follow each value of a pair at the escape value: x's width in bits 0..3, y's in 4..7.
  uint32_t escape_widths(uint32_t value) const {
    if (quadruple_ || table_.linbits == 0) return 0;
    const uint32_t x = (value >> 4) == table_.x_length - 1, y = (value & 15) == table_.y_length - 1;
    return (x | y << 4) * (table_.linbits & 15);
  }
  uint32_t escape_bits(uint32_t value) const {
    return (escape_widths(value) & 15) + (escape_widths(value) >> 4);
  }
  // The node the walker moves to from `node` after bit `side`, hops included.
  uint32_t child(uint32_t node, uint32_t side) const {
    uint32_t distance = table_.tree[node][side];
    while (distance >= kHuffmanHop) {
      node += distance;
      distance = table_.tree[node][side];
    }
    return node + distance;
  }

  const HuffmanTable& table_;
  std::vector<uint32_t>& entries_;
  std::vector<int> depth_memo_;
  std::map<std::pair<uint32_t, int>, uint32_t> levels_;
  const bool quadruple_;
};

struct StandardLookups {
  HuffmanLookup built[34];          // one per tree, and one per table with escapes (their lengths differ)
  const HuffmanLookup* lookup[34];  // per table
  StandardLookups() {
    for (unsigned t = 0; t < 34; ++t) {
      const HuffmanTable& table = huffman_tables[t];
      const bool own = table.tree_of < 0 || table.linbits > 0;
      // A 10-bit first level: fewer codes of the big tables need a second lookup than with 8 bits (2-4 %
      // faster decoding at 64 to 128 kbit/s), for 4 KiB a table.
      if (table.tree_length > 0 && table.tree != nullptr && own) {
        built[t] = build_huffman_lookup(table, 10);
        if (built[t].longest_pair + built[t].root_width > 64)
          throw std::logic_error("Huffman table too long");
      }
      lookup[t] = own ? &built[t] : lookup[table.tree_of];
    }
  }
};

}  // namespace

HuffmanLookup build_huffman_lookup(const HuffmanTable& table, int root_width) {
  HuffmanLookup lookup;
  LookupBuilder builder(table, lookup.entries);
  const int longest_code = builder.max_depth(0, kGiveUpBits);
  lookup.root_width = std::clamp(longest_code, 1, root_width);
  lookup.longest_pair =
      longest_code + (is_quadruple_table(table) ? 4 : 2 * (static_cast<int>(table.linbits) + 1));
  builder.level(0, 0, lookup.root_width);
  return lookup;
}

const HuffmanLookup& huffman_lookup(unsigned table) {
  static const StandardLookups lookups;
  return *lookups.lookup[table];
}

HuffmanStatus lookup_huffman_pair(const HuffmanTable& table, const HuffmanLookup& lookup, int32_t& x,
                                  int32_t& y, int32_t& v, int32_t& w, Bit_Reserve& reservoir) {
  if (table.tree_length == 0) {
    x = y = 0;
    return kHuffmanDecoded;
  }
  if (table.tree == nullptr) return kHuffmanNoTree;

  const int32_t start = reservoir.bits_consumed();
  const uint32_t e = lookup_code(lookup.entries.data(), lookup.root_width, reservoir.peek_bits(start));
  reservoir.set_bits_consumed(start + static_cast<int32_t>((e >> 8) & 63));
  if (e & HuffmanLookup::kGiveUp) return kHuffmanNoLeaf;
  return finish_huffman_pair(table, (e >> 16) & 255, x, y, v, w, reservoir);
}

}  // namespace vemla
