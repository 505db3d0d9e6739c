#include "unsupported_stream.h"

#include <algorithm>
#include <vector>

#include "header.h"

namespace vemla {
namespace {

constexpr uint64_t kScanBytes = 256 * 1024;
// Longest free-format frame looked for: Layer I at 448 kbit/s and 32 kHz is 672 bytes, Layer III at the
// highest free rates decoders accept (640 kbit/s) and 32 kHz is 2880 bytes.
constexpr size_t kLongestFreeFrame = 4096;

uint32_t word_at(const std::vector<uint8_t>& bytes, size_t i) {
  return uint32_t{bytes[i]} << 24 | uint32_t{bytes[i + 1]} << 16 | uint32_t{bytes[i + 2]} << 8 | bytes[i + 3];
}

int layer_of(uint32_t word) {
  return (4 - ((word >> 17) & 3)) & 3;
}

// MPEG 2.5: an 11-bit sync word, version bits 00, a layer, a bit rate and one of its three frequencies.
bool mpeg25_header(uint32_t word) {
  return (word & 0xFFF80000) == 0xFFE00000 && layer_of(word) != 0 && ((word >> 12) & 15) != 0 &&
         ((word >> 12) & 15) != 15 && ((word >> 10) & 3) != 3;
}

// The rules of ISO/IEC 13818-3 2.4.3.1 at the MPEG 2.5 frequencies, half those of the LSF streams.
size_t mpeg25_length(uint32_t word) {
  constexpr unsigned kFrequencies[3] = {11025, 12000, 8000};
  const int layer = layer_of(word);
  const unsigned bitrate = bitrate_kbps(0, layer, (word >> 12) & 15) * 1000;
  const unsigned frequency = kFrequencies[(word >> 10) & 3];
  const unsigned padding = (word >> 9) & 1;
  if (layer == 1) return (12 * bitrate / frequency + padding) * 4;
  return (layer == 3 ? 72 : 144) * bitrate / frequency + padding;
}

// Two headers of one stream agree on sync, version, layer, protection and frequency.
bool same_stream(uint32_t word, uint32_t other) {
  return (word & 0xFFFF0C00) == (other & 0xFFFF0C00);
}

bool mpeg25_run(const std::vector<uint8_t>& bytes, size_t at) {
  const uint32_t first = word_at(bytes, at);
  size_t next = at + mpeg25_length(first);
  for (int k = 0; k < 2; ++k) {
    if (next + 4 > bytes.size()) return k > 0 && next >= bytes.size();
    const uint32_t word = word_at(bytes, next);
    if (!mpeg25_header(word) || !same_stream(first, word)) return false;
    next += mpeg25_length(word);
  }
  return true;
}

bool free_format_header(uint32_t word) {
  return (word & 0xFFF00000) == 0xFFF00000 && layer_of(word) != 0 && ((word >> 12) & 15) == 0 &&
         ((word >> 10) & 3) != 3;
}

bool free_format_at(const std::vector<uint8_t>& bytes, size_t i, uint32_t first) {
  return i + 4 <= bytes.size() && (word_at(bytes, i) & 0xFFFFFC00) == (first & 0xFFFFFC00);
}

// Free format keeps one length, give or take the padding slot; four headers that far apart make a stream.
bool free_format_run(const std::vector<uint8_t>& bytes, size_t at) {
  const uint32_t first = word_at(bytes, at);
  const size_t slot = layer_of(first) == 1 ? 4 : 1;
  const size_t end = std::min(bytes.size(), at + kLongestFreeFrame);
  for (size_t second = at + 16; second + 4 <= end; ++second) {
    if (!free_format_at(bytes, second, first)) continue;
    const size_t length = second - at;
    size_t previous = second;
    int found = 1;
    while (found < 3) {
      size_t following = 0;
      for (const size_t candidate : {previous + length, previous + length - slot, previous + length + slot}) {
        if (free_format_at(bytes, candidate, first)) {
          following = candidate;
          break;
        }
      }
      if (following == 0) break;
      previous = following;
      ++found;
    }
    if (found == 3) return true;
  }
  return false;
}

}  // namespace

UnsupportedStream find_unsupported_stream(const Ibitstream& stream) {
  const uint64_t start = stream.audio_start();
  const uint64_t end = stream.audio_end();
  if (end <= start + 4) return UnsupportedStream::None;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min(end - start, kScanBytes)));
  if (!stream.peek(start, bytes.data(), bytes.size())) return UnsupportedStream::None;
  bool free_format = false;
  for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (bytes[i] != 0xFF) continue;
    const uint32_t word = word_at(bytes, i);
    if (mpeg25_header(word) && mpeg25_run(bytes, i)) return UnsupportedStream::Mpeg25;
    if (!free_format && free_format_header(word)) free_format = free_format_run(bytes, i);
  }
  return free_format ? UnsupportedStream::FreeFormat : UnsupportedStream::None;
}

}  // namespace vemla
