#include "vbr_header.h"

#include <cstring>

namespace vemla {
namespace {

// Xing/Info flags: which optional fields follow the flags word, in this order.
constexpr uint32_t kXingFrames = 0x1;
constexpr uint32_t kXingBytes = 0x2;
constexpr uint32_t kXingToc = 0x4;      // 100 bytes of seek table
constexpr uint32_t kXingQuality = 0x8;  // 4 bytes

// LAME's extension after the Xing fields: a 9-byte encoder name, then revision, lowpass, peak, two gains,
// flags and bit rate (12 bytes), then 3 bytes of delay and padding, 12 bits each.
constexpr size_t kLameDelayAt = 21;
// Encoders that fill the extension: LAME itself, and FFmpeg's muxer and encoder library.
constexpr const char* kLameNames[] = {"LAME", "Lavf", "Lavc"};

// The 32-bit big-endian value at body[at], or false when it does not fit in the body.
bool field32(const uint8_t* body, size_t length, size_t at, uint32_t& value) {
  if (at > length || length - at < 4) return false;
  const uint8_t* p = body + at;
  value = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  return true;
}

bool magic_at(const uint8_t* body, size_t length, size_t at, const char* magic) {
  return at <= length && length - at >= 4 && std::memcmp(body + at, magic, 4) == 0;
}

void read_lame_extension(const uint8_t* body, size_t length, size_t at, VbrHeader& header) {
  if (at > length || length - at < kLameDelayAt + 3) return;
  const uint8_t* p = body + at;
  bool named = false;
  for (const char* name : kLameNames) named = named || std::memcmp(p, name, 4) == 0;
  if (!named) return;
  const uint8_t* d = p + kLameDelayAt;
  header.has_encoder_padding = true;
  header.encoder_delay = static_cast<uint16_t>(d[0] << 4 | d[1] >> 4);
  header.encoder_padding = static_cast<uint16_t>((d[1] & 0x0F) << 8 | d[2]);
}

VbrHeader read_xing(const uint8_t* body, size_t length, size_t at, VbrHeader::Kind kind) {
  VbrHeader header;
  header.kind = kind;
  uint32_t flags = 0;
  if (!field32(body, length, at + 4, flags)) return header;
  size_t field = at + 8;
  uint32_t value = 0;
  if (flags & kXingFrames) {
    if (!field32(body, length, field, value)) return header;
    header.frames = value;
    field += 4;
  }
  if (flags & kXingBytes) {
    if (!field32(body, length, field, value)) return header;
    header.bytes = value;
    field += 4;
  }
  if (flags & kXingToc) field += 100;
  if (flags & kXingQuality) field += 4;
  read_lame_extension(body, length, field, header);
  return header;
}

}  // namespace

VbrHeader find_vbr_header(const uint8_t* body, size_t length, int version, int mode, bool protected_by_crc) {
  // The Xing header takes the place of the side information: it follows the 32 or 17 (MPEG-1) or 17 or 9
  // (LSF) bytes that the side information would fill.
  const bool single_channel = mode == 3;
  const size_t side_info = version == 1 ? (single_channel ? 17 : 32) : (single_channel ? 9 : 17);
  // With a CRC word the header should follow it, but LAME writes it where it would be without one: try both.
  const size_t places[2] = {side_info + (protected_by_crc ? 2 : 0), side_info};
  for (size_t at : places) {
    if (magic_at(body, length, at, "Xing")) return read_xing(body, length, at, VbrHeader::Kind::Xing);
    if (magic_at(body, length, at, "Info")) return read_xing(body, length, at, VbrHeader::Kind::Info);
  }

  // VBRI lies 32 bytes after the frame header whatever the mode: magic, version (2 bytes), delay (2),
  // quality (2), bytes (4), frames (4), then its table of contents.
  constexpr size_t kVbri = 32;
  if (magic_at(body, length, kVbri, "VBRI")) {
    VbrHeader header;
    header.kind = VbrHeader::Kind::Vbri;
    uint32_t bytes = 0, frames = 0;
    if (field32(body, length, kVbri + 10, bytes) && field32(body, length, kVbri + 14, frames)) {
      header.bytes = bytes;
      header.frames = frames;
    }
    return header;
  }
  return {};
}

}  // namespace vemla
