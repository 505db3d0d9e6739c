#include "test_files.h"

#include <algorithm>
#include <cstring>

#include "support.h"

namespace vemla::test {
namespace {

// kbit/s, [version][layer - 1][index]: ISO/IEC 11172-3 and ISO/IEC 13818-3, 2.4.2.3.
constexpr int kKbps[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
// Hz, [version][sampling code], version as in HeaderFields: MPEG 2.5 halves the LSF rates.
constexpr int kHz[3][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}, {11025, 12000, 8000}};

HeaderFields fields_of(uint32_t word) {
  HeaderFields s;
  const uint32_t version_bits = (word >> 19) & 3;
  s.version = version_bits == 3 ? 1 : version_bits == 2 ? 0 : 2;
  s.layer = 4 - static_cast<int>((word >> 17) & 3);
  s.crc = ((word >> 16) & 1) == 0;
  s.bitrate_index = (word >> 12) & 15;
  s.sample_frequency = (word >> 10) & 3;
  s.padding = (word >> 9) & 1;
  s.mode = (word >> 6) & 3;
  return s;
}

bool well_formed(uint32_t word) {
  return (word & 0xFFE00000) == 0xFFE00000 && ((word >> 19) & 3) != 1 && ((word >> 17) & 3) != 0 &&
         ((word >> 12) & 15) != 0 && ((word >> 12) & 15) != 15 && ((word >> 10) & 3) != 3;
}

uint32_t word_at(const std::vector<uint8_t>& file, uint64_t at) {
  if (at + 4 > file.size()) return 0;
  return uint32_t{file[at]} << 24 | uint32_t{file[at + 1]} << 16 | uint32_t{file[at + 2]} << 8 | file[at + 3];
}

}  // namespace

bool lame_encode(const std::filesystem::path& wav, const std::filesystem::path& mp3,
                 const std::string& options) {
  const std::string command = "lame --quiet " + options + " '" + wav.string() + "' '" + mp3.string() + "'";
  return run(command) == 0 && std::filesystem::exists(mp3);
}

HeaderFields layer3_fields() {
  HeaderFields fields;
  fields.layer = 3;
  fields.sample_frequency = 0;
  return fields;
}

unsigned frame_bytes(const HeaderFields& s) {
  const unsigned bitrate = kKbps[s.version == 1 ? 1 : 0][s.layer - 1][s.bitrate_index] * 1000u;
  const unsigned hz = kHz[s.version][s.sample_frequency];
  if (s.layer == 1) return (12 * bitrate / hz + s.padding) * 4;
  // A Layer III frame of ISO/IEC 13818-3 (and of MPEG 2.5) holds 576 samples, half of an MPEG-1 frame.
  const unsigned samples = s.layer == 3 && s.version != 1 ? 576 : 1152;
  return samples / 8 * bitrate / hz + s.padding;
}

std::vector<uint8_t> make_frame(const HeaderFields& fields, uint8_t fill) {
  std::vector<uint8_t> frame(frame_bytes(fields), fill);
  const uint32_t word = fields.word();
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<uint8_t>(word >> (24 - 8 * i));
  return frame;
}

FrameWalk walk_frames(const std::vector<uint8_t>& file) {
  FrameWalk walk;
  const auto same_stream = [](uint32_t a, uint32_t b) { return (a & 0xFFFE0C00) == (b & 0xFFFE0C00); };
  // A leading ID3v2 tag (ID3v2.4, 3.1): 10 bytes of header, a size in four 7-bit bytes, and a 10-byte
  // footer when flag bit 4 is set.
  uint64_t start = 0;
  if (file.size() >= 10 && std::memcmp(file.data(), "ID3", 3) == 0)
    start = 10 + (uint64_t{file[6]} << 21 | uint64_t{file[7]} << 14 | uint64_t{file[8]} << 7 | file[9]) +
            (file[5] & 0x10 ? 10 : 0);
  for (;; ++start) {
    if (start + 4 > file.size()) return walk;
    const uint32_t w0 = word_at(file, start);
    if (!well_formed(w0)) continue;
    const uint64_t second = start + frame_bytes(fields_of(w0));
    const uint32_t w1 = word_at(file, second);
    if (!well_formed(w1) || !same_stream(w0, w1)) continue;
    const uint32_t w2 = word_at(file, second + frame_bytes(fields_of(w1)));
    if (well_formed(w2) && same_stream(w0, w2)) break;
  }
  const uint32_t first = word_at(file, start);
  for (uint64_t at = start;;) {
    const uint32_t w = word_at(file, at);
    if (!well_formed(w) || !same_stream(first, w)) break;
    const uint64_t next = at + frame_bytes(fields_of(w));
    if (next > file.size()) break;
    walk.offsets.push_back(at);
    walk.words.push_back(w);
    walk.end = next;
    at = next;
  }
  return walk;
}

size_t xing_offset(const std::vector<uint8_t>& file, uint64_t frame_offset) {
  const HeaderFields s = fields_of(word_at(file, frame_offset));
  const size_t side = s.version == 1 ? (s.mode == 3 ? 17 : 32) : (s.mode == 3 ? 9 : 17);
  for (size_t at : {side + (s.crc ? 2 : 0), side}) {
    const uint64_t p = frame_offset + 4 + at;
    if (p + 4 <= file.size() &&
        (std::memcmp(&file[p], "Xing", 4) == 0 || std::memcmp(&file[p], "Info", 4) == 0))
      return at;
  }
  return 0;
}

}  // namespace vemla::test
