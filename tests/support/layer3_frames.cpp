#include "layer3_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace vemla::test {

void BitWriter::put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) bits_.push_back((value >> i) & 1);
}

void BitWriter::put_code(const std::string& code) {
  for (char c : code) bits_.push_back(c == '1');
}

void BitWriter::append(const BitWriter& other) {
  bits_.insert(bits_.end(), other.bits_.begin(), other.bits_.end());
}

std::vector<uint8_t> BitWriter::bytes() const {
  std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits_.size(); ++i)
    if (bits_[i]) out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  return out;
}

Bit_Reserve reservoir_with(const BitWriter& bits) {
  Bit_Reserve reservoir;
  const std::vector<uint8_t> bytes = bits.bytes();
  reservoir.append_bytes(bytes.data(), static_cast<int>(bytes.size()));
  return reservoir;
}

std::string huffman_code(const HuffmanTable& table, unsigned value) {
  std::string found;
  std::function<bool(uint32_t, std::string&)> walk = [&](uint32_t node, std::string& path) {
    if (table.tree[node][0] == 0) {
      if (table.tree[node][1] != value) return false;
      found = path;
      return true;
    }
    for (int side = 0; side < 2; ++side) {
      uint32_t next = node, distance = table.tree[node][side];
      while (distance >= kHuffmanHop) next += distance, distance = table.tree[next][side];
      path.push_back(static_cast<char>('0' + side));
      if (walk(next + distance, path)) return true;
      path.pop_back();
    }
    return false;
  };
  std::string path;
  if (table.tree_length == 0 || !walk(0, path))
    ADD_FAILURE() << "no code for " << value << " in table " << table.name;
  return found;
}

void put_pair(BitWriter& out, const HuffmanTable& table, int x, int y) {
  out.put_code(huffman_code(table, std::abs(x) * 16 + std::abs(y)));
  if (x) out.put(x < 0, 1);
  if (y) out.put(y < 0, 1);
}

void put_quadruple(BitWriter& out, unsigned select, int v, int w, int x, int y) {
  out.put_code(huffman_code(huffman_tables[32 + select],
                            std::abs(v) * 8 + std::abs(w) * 4 + std::abs(x) * 2 + std::abs(y)));
  for (int value : {v, w, x, y})
    if (value) out.put(value < 0, 1);
}

GranuleData random_granule(std::mt19937& random, unsigned pairs, unsigned extra_bits, uint32_t global_gain) {
  GranuleData g;
  g.info.big_values = pairs;
  g.info.global_gain = global_gain;
  g.info.table_select[0] = g.info.table_select[1] = g.info.table_select[2] = 1;
  g.info.region0_count = 15;
  g.info.region1_count = 7;
  g.info.count1table_select = 1;
  std::uniform_int_distribution<int> value(-1, 1);
  for (unsigned i = 0; i < pairs; ++i) put_pair(g.data, huffman_tables[1], value(random), value(random));
  // Table B's zero quadruple is "1111", so padding of ones decodes as zeros wherever it is read.
  for (unsigned i = 0; i < extra_bits; ++i) g.data.put(1, 1);
  g.info.part2_3_length = static_cast<uint32_t>(g.data.bit_count());
  return g;
}

GranuleData silent_granule(unsigned bits) {
  std::mt19937 unused;
  return random_granule(unused, 0, bits);
}

int StreamFormat::main_data_slots() const {
  const int frame = lsf ? 192 : 384;
  const int side_info = lsf ? (channels() == 1 ? 9 : 17) : (channels() == 1 ? 17 : 32);
  return frame - 4 - side_info;
}

namespace {

int data_bytes(const FrameData& frame) {
  size_t bits = 0;
  for (const GranuleData& g : frame.granules) bits += g.data.bit_count();
  return static_cast<int>((bits + 7) / 8);
}

void put_side_info(BitWriter& out, const StreamFormat& format, const FrameData& frame) {
  const unsigned channels = format.channels();
  out.put(frame.main_data_begin, format.lsf ? 8 : 9);
  out.put(0, format.lsf ? (channels == 1 ? 1 : 2) : (channels == 1 ? 5 : 3));
  if (!format.lsf)
    for (unsigned ch = 0; ch < channels; ++ch)
      for (uint32_t bit : frame.scfsi[ch]) out.put(bit, 1);
  for (const GranuleData& granule : frame.granules) {
    const GranuleInfo& g = granule.info;
    out.put(g.part2_3_length, 12);
    out.put(g.big_values, 9);
    out.put(g.global_gain, 8);
    out.put(g.scalefac_compress, format.lsf ? 9 : 4);
    out.put(g.window_switching_flag, 1);
    if (g.window_switching_flag) {
      out.put(g.block_type, 2);
      out.put(g.mixed_block_flag, 1);
      out.put(g.table_select[0], 5);
      out.put(g.table_select[1], 5);
      for (uint32_t gain : g.subblock_gain) out.put(gain, 3);
    } else {
      for (uint32_t table : g.table_select) out.put(table, 5);
      out.put(g.region0_count, 4);
      out.put(g.region1_count, 3);
    }
    if (!format.lsf) out.put(g.preflag, 1);
    out.put(g.scalefac_scale, 1);
    out.put(g.count1table_select, 1);
  }
}

}  // namespace

void pack_into_reservoir(const StreamFormat& format, std::vector<FrameData>& frames,
                         const std::vector<int>& gaps) {
  int end = 0;  // where the previous frame's main data ended
  for (size_t k = 0; k < frames.size(); ++k) {
    const int start = static_cast<int>(k) * format.main_data_slots();
    const int gap = k < gaps.size() ? gaps[k] : 0;
    const int begin = std::max(end + gap, start - 511);
    frames[k].main_data_begin = std::max(start - begin, 0);
    end = start - frames[k].main_data_begin + data_bytes(frames[k]);
  }
}

std::vector<uint8_t> build_stream(const StreamFormat& format, const std::vector<FrameData>& frames) {
  const int slots = format.main_data_slots();
  // All frames' main data slots in a row, ancillary bytes where no frame puts data.
  std::vector<uint8_t> main_data(frames.size() * slots, 0x00);
  int previous_end = 0;
  for (size_t k = 0; k < frames.size(); ++k) {
    BitWriter bits;
    for (const GranuleData& g : frames[k].granules) bits.append(g.data);
    const std::vector<uint8_t> bytes = bits.bytes();
    const int begin = static_cast<int>(k) * slots - frames[k].main_data_begin;
    const int end = begin + static_cast<int>(bytes.size());
    EXPECT_TRUE(k == 0 || begin >= previous_end)
        << "frame " << k << " overlaps the previous frame's main data";
    EXPECT_LE(end, static_cast<int>(k + 1) * slots) << "frame " << k << " does not fit";
    for (int i = std::max(begin, 0); i < std::min(end, static_cast<int>(main_data.size())); ++i)
      main_data[i] = bytes[i - begin];
    previous_end = end;
  }

  std::vector<uint8_t> stream;
  for (size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(frames[k].granules.size(), format.granules() * format.channels());
    // Header: MPEG-1 (or LSF) Layer III without CRC; 128 kbit/s at 48 kHz, or 64 kbit/s at 24 kHz.
    BitWriter frame;
    frame.put(format.lsf ? 0xFFF3 : 0xFFFB, 16);
    frame.put(format.lsf ? 0x84 : 0x94, 8);
    frame.put(format.mode << 6 | format.mode_extension << 4, 8);
    put_side_info(frame, format, frames[k]);
    const std::vector<uint8_t> head = frame.bytes();
    stream.insert(stream.end(), head.begin(), head.end());
    stream.insert(stream.end(), main_data.begin() + k * slots, main_data.begin() + (k + 1) * slots);
  }
  return stream;
}

}  // namespace vemla::test
