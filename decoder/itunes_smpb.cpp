#include "itunes_smpb.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bitstream.h"

namespace vemla {
namespace {

// An iTunSMPB frame holds about a hundred characters; anything much larger is something else, left unread.
constexpr uint32_t kLargestComment = 4096;
// A tag unsynchronised as a whole (ID3v2.2 and 2.3) is read into memory to undo it, up to this size; tags
// that large hold pictures, and such a tag is left alone.
constexpr uint64_t kLargestUnsynchronisedTag = 1 << 20;

using ReadAt = std::function<bool(uint64_t at, uint8_t* out, size_t n)>;

uint32_t big_endian(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

// A 28-bit size in four bytes of seven bits (ID3v2.4 6.2); false when a byte has its top bit set.
bool synchsafe(const uint8_t* p, uint32_t& value) {
  if ((p[0] | p[1] | p[2] | p[3]) & 0x80) return false;
  value = uint32_t{p[0]} << 21 | uint32_t{p[1]} << 14 | uint32_t{p[2]} << 7 | p[3];
  return true;
}

// Undoes unsynchronisation (ID3v2.4 6.1): the 0x00 written after every 0xFF is dropped.
void resynchronise(std::vector<uint8_t>& bytes) {
  size_t out = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[out++] = bytes[i];
    if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00) ++i;
  }
  bytes.resize(out);
}

// One string of a text frame in the frame's encoding (0 Latin-1, 1 UTF-16 with a byte-order mark, 2 UTF-16
// big-endian, 3 UTF-8), as ASCII: other characters become '?', which no field of the comment holds. `at`
// moves past the string and its terminator.
std::string take_string(const std::vector<uint8_t>& data, size_t& at, uint8_t encoding) {
  std::string text;
  if (encoding == 1 || encoding == 2) {
    bool big_endian_units = encoding == 2;
    if (encoding == 1 && at + 2 <= data.size()) {
      if (data[at] == 0xFE && data[at + 1] == 0xFF)
        big_endian_units = true, at += 2;
      else if (data[at] == 0xFF && data[at + 1] == 0xFE)
        at += 2;
    }
    for (; at + 2 <= data.size(); at += 2) {
      const unsigned unit = big_endian_units ? data[at] << 8 | data[at + 1] : data[at + 1] << 8 | data[at];
      if (unit == 0) {
        at += 2;
        return text;
      }
      text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    at = data.size();
    return text;
  }
  for (; at < data.size(); ++at) {
    if (data[at] == 0) {
      ++at;
      return text;
    }
    text += data[at] < 0x80 ? static_cast<char>(data[at]) : '?';
  }
  return text;
}

// The comment's fields when a COMM or TXXX frame's data is the iTunSMPB one.
std::optional<EncoderPadding> from_frame(const std::vector<uint8_t>& data, bool comment) {
  if (data.empty()) return {};
  const uint8_t encoding = data[0];
  if (encoding > 3) return {};
  size_t at = comment ? 4 : 1;  // a comment names its language in three letters
  if (at > data.size()) return {};
  if (take_string(data, at, encoding) != "iTunSMPB") return {};
  return parse_itunes_smpb(take_string(data, at, encoding));
}

// Walks the frames of one tag's body (what follows the 10-byte tag header), read through `read`.
std::optional<EncoderPadding> walk_frames(const ReadAt& read, uint64_t body_size, int version,
                                          uint8_t flags) {
  uint64_t at = 0;
  if (version >= 3 && (flags & 0x40)) {  // an extended header
    uint8_t size_bytes[4];
    if (!read(0, size_bytes, 4)) return {};
    uint32_t size = 0;
    if (version == 3) {
      size = big_endian(size_bytes, 4) + 4;  // its size leaves out the size field itself
    } else if (!synchsafe(size_bytes, size)) {
      return {};
    }
    at = size;
  }
  const unsigned header_bytes = version == 2 ? 6 : 10;
  const bool every_frame_unsynchronised = version == 4 && (flags & 0x80);
  while (at + header_bytes <= body_size) {
    uint8_t h[10];
    if (!read(at, h, header_bytes)) return {};
    const unsigned id_bytes = version == 2 ? 3 : 4;
    for (unsigned i = 0; i < id_bytes; ++i)
      if (!((h[i] >= 'A' && h[i] <= 'Z') || (h[i] >= '0' && h[i] <= '9'))) return {};  // padding, or damage
    uint32_t size = 0;
    if (version == 2)
      size = big_endian(h + 3, 3);
    else if (version == 3)
      size = big_endian(h + 4, 4);
    else if (!synchsafe(h + 4, size))
      return {};
    const uint64_t data_at = at + header_bytes;
    if (size > body_size - data_at) return {};
    at = data_at + size;

    const std::string id(reinterpret_cast<const char*>(h), id_bytes);
    const bool comment = id == "COMM" || id == "COM";
    if ((!comment && id != "TXXX" && id != "TXX") || size > kLargestComment) continue;
    std::vector<uint8_t> data(size);
    if (!read(data_at, data.data(), size)) return {};
    size_t skip = 0;
    bool unsynchronised = every_frame_unsynchronised;
    if (version == 3) {
      if (h[9] & 0xC0) continue;  // compressed or encrypted
      if (h[9] & 0x20) skip = 1;  // a group byte
    } else if (version == 4) {
      if (h[9] & 0x0C) continue;   // compressed or encrypted
      if (h[9] & 0x40) skip += 1;  // a group byte
      if (h[9] & 0x01) skip += 4;  // the data length
      unsynchronised = unsynchronised || (h[9] & 0x02);
    }
    if (skip > data.size()) continue;
    data.erase(data.begin(), data.begin() + static_cast<long>(skip));
    if (unsynchronised) resynchronise(data);
    if (auto found = from_frame(data, comment)) return found;
  }
  return {};
}

}  // namespace

std::optional<EncoderPadding> parse_itunes_smpb(std::string_view text) {
  uint64_t fields[3] = {};
  int count = 0;
  size_t i = 0;
  while (count < 3) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t digits = 0;
    uint64_t value = 0;
    for (; i < text.size() && digits <= 16; ++i, ++digits) {
      const char c = text[i];
      const int v = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (v < 0) break;
      value = value << 4 | static_cast<uint64_t>(v);
    }
    if (digits == 0 || digits > 16) return {};
    if (i < text.size() && text[i] != ' ' && text[i] != '\t') return {};
    fields[count++] = value;
  }
  if (fields[1] > UINT32_MAX || fields[2] > UINT32_MAX) return {};
  return EncoderPadding{static_cast<uint32_t>(fields[1]), static_cast<uint32_t>(fields[2])};
}

std::optional<EncoderPadding> find_itunes_smpb(const Ibitstream& stream) {
  const uint64_t tags_end = stream.audio_start();
  uint64_t tag = 0;
  while (tag + 10 <= tags_end) {
    uint8_t h[10];
    if (!stream.peek(tag, h, 10) || std::memcmp(h, "ID3", 3) != 0) return {};
    uint32_t size = 0;
    if (!synchsafe(h + 6, size)) return {};
    const int version = h[3];
    const uint8_t flags = h[5];
    const uint64_t body = tag + 10;
    const uint64_t body_size = std::min<uint64_t>(size, tags_end - body);
    // ID3v2.2's compression flag marks a tag no one could read.
    const bool readable = version >= 2 && version <= 4 && !(version == 2 && (flags & 0x40));
    if (readable && version < 4 && (flags & 0x80)) {
      if (body_size <= kLargestUnsynchronisedTag) {
        std::vector<uint8_t> bytes(body_size);
        if (!stream.peek(body, bytes.data(), bytes.size())) return {};
        resynchronise(bytes);
        const ReadAt in_memory = [&bytes](uint64_t at, uint8_t* out, size_t n) {
          if (at > bytes.size() || bytes.size() - at < n) return false;
          std::memcpy(out, bytes.data() + at, n);
          return true;
        };
        if (auto found = walk_frames(in_memory, bytes.size(), version, flags)) return found;
      }
    } else if (readable) {
      const ReadAt in_file = [&stream, body, body_size](uint64_t at, uint8_t* out, size_t n) {
        return at <= body_size && body_size - at >= n && stream.peek(body + at, out, n);
      };
      if (auto found = walk_frames(in_file, body_size, version, flags)) return found;
    }
    tag = body + size + ((flags & 0x10) ? 10 : 0);
  }
  return {};
}

}  // namespace vemla
