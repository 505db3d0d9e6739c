#include "free_format.h"

#include <algorithm>
#include <vector>

#include "header_word.h"

namespace vemla {
namespace {

uint32_t word_at(const std::vector<uint8_t>& bytes, size_t i) {
  return uint32_t{bytes[i]} << 24 | uint32_t{bytes[i + 1]} << 16 | uint32_t{bytes[i + 2]} << 8 | bytes[i + 3];
}

// Frames of one free-format stream share the sync word, version, layer, bit-rate index 0 and sampling
// frequency; protection, padding and the stereo mode are their own.
bool same_stream(uint32_t word, uint32_t other) {
  return (other & 0xFFFEFC00) == (word & 0xFFFEFC00);
}

// Bytes a Layer III frame needs before its main data: header, CRC word and side information.
unsigned layer3_overhead(uint32_t word) {
  const bool mono = ((word >> 6) & 3) == 3;
  const unsigned side_info = version_code(word) == kMpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
  return 4 + (((word >> 16) & 1) == 0 ? 2 : 0) + side_info;
}

// The length (unpadded, header included) of frames at `kbps` in this stream's layer, version and frequency.
unsigned length_at(uint32_t word, unsigned kbps) {
  const int version = version_code(word) == kMpeg1 ? 1 : 0;
  const int layer = layer_of(word);
  const uint64_t frequency = frequency_hz(version_code(word), frequency_code_of(word));
  const uint64_t bitrate = uint64_t{kbps} * 1000;
  if (layer == 1) return static_cast<unsigned>(12 * bitrate / frequency * 4);
  const uint64_t per_frame = layer == 3 && version == 0 ? 72 : 144;
  return static_cast<unsigned>(per_frame * bitrate / frequency);
}

}  // namespace

unsigned measure_free_format(const Ibitstream& stream, uint64_t offset, uint32_t word, bool any_rate) {
  if (!free_format_fields_usable(word)) return 0;
  const int layer = layer_of(word);
  const unsigned slot = slot_bytes(layer);
  unsigned shortest = length_at(word, kFreeFormatFloorKbps);
  if (layer == 3) shortest = std::max(shortest, layer3_overhead(word) + 1);
  const unsigned buffer = Ibitstream::kBodyBytes + 4 - slot;
  const unsigned longest =
      any_rate ? buffer : std::min(length_at(word, kFreeFormatLimitKbps[layer - 1]), buffer);
  if (shortest > longest || offset >= stream.audio_end()) return 0;

  // Enough bytes for the first two frames and the third header, at the longest.
  std::vector<uint8_t> bytes(
      static_cast<size_t>(std::min<uint64_t>(2 * (longest + slot) + 4, stream.audio_end() - offset)));
  if (!stream.peek(offset, bytes.data(), bytes.size())) return 0;
  const unsigned first_padding = padding_of(word) * slot;
  for (size_t second = shortest + first_padding; second <= longest + first_padding; ++second) {
    if (second + 4 > bytes.size()) break;
    if (bytes[second] != 0xFF) continue;
    const uint32_t next = word_at(bytes, second);
    if (!same_stream(word, next)) continue;
    const unsigned length = static_cast<unsigned>(second) - first_padding;
    // Layer I frames are whole slots of four bytes.
    if (length % slot != 0) continue;
    const size_t third = second + length + padding_of(next) * slot;
    if (offset + third == stream.audio_end()) return length;
    if (third + 4 <= bytes.size() && same_stream(word, word_at(bytes, third))) return length;
  }
  return 0;
}

}  // namespace vemla
