#include "bounded_tags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace vemla {

namespace {

// Frames the import reads (ID3v2.3 and 2.4 names, then ID3v2.2's): title, artist, album, year, comment,
// user texts (ReplayGain) and relative volume (ReplayGain).
constexpr std::array<std::string_view, 14> kTextFrames = {"TIT2", "TPE1", "TALB", "TYER", "TDRC", "COMM", "TXXX",
                                                          "RVA2", "TT2",  "TP1",  "TAL",  "TYE",  "COM",  "TXX"};
constexpr std::array<std::string_view, 2> kPictureFrames = {"APIC", "PIC"};
constexpr size_t kMaxReasons = 8;

// The frames a reading keeps, and how much of them in all.
struct Wanted {
  std::span<const std::string_view> ids;
  size_t total;
  bool has(std::string_view id) const { return std::find(ids.begin(), ids.end(), id) != ids.end(); }
};
constexpr Wanted kTexts{kTextFrames, kMaxKeptFrames};
constexpr Wanted kPictures{kPictureFrames, 2 * kMaxFrame};

// Reads up to n bytes at an offset of the tag's source (a file, or bytes in memory); the number read, 0 at
// its end or on an error.
using ReadAt = std::function<size_t(uint8_t* out, size_t n, uint64_t offset)>;

// Texts, comments and lyrics: what any real one needs is a few kilobytes.
bool text_like(std::string_view id) {
  return id[0] == 'T' || id == "COMM" || id == "COM" || id == "USLT" || id == "ULT";
}

uint32_t big_endian(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

uint32_t little_endian32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// A 28-bit "synchsafe" integer of ID3v2 (seven bits a byte); nothing when a byte has its top bit set.
std::optional<uint32_t> syncsafe(const uint8_t* p) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    if (p[i] & 0x80) return std::nullopt;
    value = value << 7 | p[i];
  }
  return value;
}

void put_syncsafe(std::string& out, uint32_t value) {
  for (int shift = 21; shift >= 0; shift -= 7) out += static_cast<char>((value >> shift) & 0x7F);
}

void put_big_endian(std::string& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Undoes the unsynchronisation scheme: a 0x00 after 0xFF is dropped.
std::string resynchronised(std::string_view data) {
  std::string out;
  out.reserve(data.size());
  for (size_t i = 0; i < data.size(); ++i) {
    out += data[i];
    if (static_cast<uint8_t>(data[i]) == 0xFF && i + 1 < data.size() && data[i + 1] == 0) ++i;
  }
  return out;
}

// Inflates zlib data into at most `limit` bytes; nothing when it is damaged or holds more.
std::optional<std::string> inflate_bounded(std::string_view data, size_t limit) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return std::nullopt;
  std::string out;
  std::array<char, 16384> chunk;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  int status = Z_OK;
  while (status == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(chunk.data());
    zs.avail_out = static_cast<uInt>(chunk.size());
    status = inflate(&zs, Z_NO_FLUSH);
    const size_t produced = chunk.size() - zs.avail_out;
    if (out.size() + produced > limit) {
      status = Z_MEM_ERROR;
      break;
    }
    out.append(chunk.data(), produced);
    if (status == Z_BUF_ERROR && zs.avail_in == 0) break;
  }
  inflateEnd(&zs);
  if (status != Z_STREAM_END) return std::nullopt;
  return out;
}

// The bytes of a file region, read in order, with ID3v2's unsynchronisation undone when asked; skipping a
// stretch seeks over it when nothing has to be undone.
class RegionReader {
 public:
  RegionReader(const ReadAt& read_at, uint64_t start, uint64_t length, bool unsync)
      : read_at_(&read_at), position_(start), end_(start + length), unsync_(unsync) {}

  bool read(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (!next(out[i])) return false;
    }
    return true;
  }

  bool skip(uint64_t n) {
    if (!unsync_) {
      const uint64_t buffered = buffer_length_ - buffer_at_;
      if (n <= buffered) {
        buffer_at_ += n;
        return true;
      }
      n -= buffered;
      buffer_at_ = buffer_length_ = 0;
      if (n > end_ - position_) return false;
      position_ += n;
      return true;
    }
    uint8_t byte;
    for (uint64_t i = 0; i < n; ++i) {
      if (!next(byte)) return false;
    }
    return true;
  }

  // Raw bytes left: never fewer than the decoded bytes left.
  uint64_t left() const { return (end_ - position_) + (buffer_length_ - buffer_at_); }

 private:
  bool next(uint8_t& byte) {
    if (!raw(byte)) return false;
    if (unsync_ && previous_ff_ && byte == 0) {
      previous_ff_ = false;
      if (!raw(byte)) return false;
    }
    previous_ff_ = byte == 0xFF;
    return true;
  }

  bool raw(uint8_t& byte) {
    if (buffer_at_ == buffer_length_) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), end_ - position_));
      if (want == 0) return false;
      const size_t got = (*read_at_)(buffer_.data(), want, position_);
      if (got == 0) return false;
      position_ += got;
      buffer_length_ = got;
      buffer_at_ = 0;
    }
    byte = buffer_[buffer_at_++];
    return true;
  }

  const ReadAt* read_at_;
  uint64_t position_;
  uint64_t end_;
  bool unsync_;
  bool previous_ff_ = false;
  std::array<uint8_t, 65536> buffer_;
  size_t buffer_length_ = 0;
  size_t buffer_at_ = 0;
};

class Reasons {
 public:
  explicit Reasons(std::vector<std::string>& list) : list_(list) {}
  void add(std::string reason) {
    if (list_.size() < kMaxReasons) list_.push_back(std::move(reason));
  }

 private:
  std::vector<std::string>& list_;
};

// What a frame header says, in any of the three versions.
struct FrameHead {
  std::string id;
  uint32_t size = 0;  // bytes after the header, as stored
  uint8_t format = 0; // the second flags byte (v2.3, v2.4)
};

struct FrameFlags {
  bool compressed, encrypted, grouped, unsynchronised, length_indicator;
};

FrameFlags flags_of(int major, uint8_t format) {
  if (major == 3) return {(format & 0x80) != 0, (format & 0x40) != 0, (format & 0x20) != 0, false, false};
  if (major == 4)
    return {(format & 0x08) != 0, (format & 0x04) != 0, (format & 0x40) != 0, (format & 0x02) != 0,
            (format & 0x01) != 0};
  return {false, false, false, false, false};
}

bool valid_id(std::string_view id) {
  return std::all_of(id.begin(), id.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// Reads the next frame header; false at the padding or the end of the frames.
bool read_frame_head(RegionReader& reader, int major, FrameHead& head) {
  const int head_size = major == 2 ? 6 : 10;
  if (reader.left() < static_cast<uint64_t>(head_size)) return false;
  uint8_t bytes[10];
  if (!reader.read(bytes, static_cast<size_t>(head_size))) return false;
  const int id_size = major == 2 ? 3 : 4;
  head.id.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(id_size));
  if (bytes[0] == 0 || !valid_id(head.id)) return false;
  if (major == 2) {
    head.size = big_endian(bytes + 3, 3);
    head.format = 0;
    return true;
  }
  // Some writers put plain sizes in ID3v2.4 frames; a size with a top bit set can only be one.
  const std::optional<uint32_t> safe = major == 4 ? syncsafe(bytes + 4) : std::nullopt;
  head.size = safe ? *safe : big_endian(bytes + 4, 4);
  head.format = bytes[9];
  return true;
}

// The frame's data made plain: the extra header bytes its flags announce taken off, its unsynchronisation
// undone and its compression inflated within the limit. Nothing, with the reason, when it cannot be kept.
std::optional<std::string> plain_frame_data(std::string data, int major, const FrameFlags& flags, size_t limit,
                                            const std::string& id, std::string& why) {
  size_t skip = 0;
  std::optional<uint32_t> declared;
  if (major == 3) {
    if (flags.compressed) {
      if (data.size() < 4) return std::nullopt;
      declared = big_endian(reinterpret_cast<const uint8_t*>(data.data()), 4);
      skip += 4;
    }
    skip += flags.grouped ? 1 : 0;
  } else if (major == 4) {
    skip += flags.grouped ? 1 : 0;
    if (flags.length_indicator) {
      if (data.size() < skip + 4) return std::nullopt;
      declared = syncsafe(reinterpret_cast<const uint8_t*>(data.data()) + skip);
      skip += 4;
    }
  }
  if (skip > data.size()) return std::nullopt;
  data.erase(0, skip);
  if (flags.unsynchronised) data = resynchronised(data);
  if (!flags.compressed) return data;
  std::optional<std::string> inflated = inflate_bounded(data, std::min<size_t>(limit, declared.value_or(limit)));
  if (!inflated) {
    why = "the ID3v2 frame " + id + " is damaged or unpacks to more than the " +
          size_text(std::min<size_t>(limit, declared.value_or(limit))) + " it may hold";
  }
  return inflated;
}

void append_frame(std::string& tag, int major, const std::string& id, const std::string& data) {
  tag += id;
  if (major == 2) {
    put_big_endian(tag, static_cast<uint32_t>(data.size()), 3);
  } else {
    if (major == 4) {
      put_syncsafe(tag, static_cast<uint32_t>(data.size()));
    } else {
      put_big_endian(tag, static_cast<uint32_t>(data.size()), 4);
    }
    tag += '\0';
    tag += '\0';
  }
  tag += data;
}

std::string read_id3v2(const ReadAt& read_at, uint64_t file_size, const Wanted& wanted, Reasons& reasons) {
  uint8_t header[10];
  if (file_size < 10 || read_at(header, 10, 0) != 10 || std::memcmp(header, "ID3", 3) != 0) return {};
  const int major = header[3];
  const std::optional<uint32_t> size = syncsafe(header + 6);
  if (major < 2 || major > 4 || !size) return {};
  const uint8_t flags = header[5];
  // ID3v2.2's compression flag names no scheme: nothing of such a tag can be read.
  if (major == 2 && (flags & 0x40)) {
    reasons.add("the ID3v2.2 tag is compressed in a way the format does not define");
    return {};
  }
  // Before 2.4 the unsynchronisation covers the whole tag, headers too; in 2.4 each frame says so itself.
  const bool unsync = (flags & 0x80) && major <= 3;
  RegionReader reader(read_at, 10, std::min<uint64_t>(*size, file_size - 10), unsync);
  if (major >= 3 && (flags & 0x40)) {
    uint8_t extended[4];
    if (!reader.read(extended, 4)) return {};
    const std::optional<uint32_t> length = major == 4 ? syncsafe(extended) : big_endian(extended, 4);
    if (!length) return {};
    // Version 2.4 counts the size bytes in the extended header's size, 2.3 does not.
    const uint64_t rest = major == 4 ? (*length >= 4 ? *length - 4 : 0) : *length;
    if (!reader.skip(rest)) return {};
  }

  std::string frames;
  FrameHead head;
  while (read_frame_head(reader, major, head)) {
    if (head.size > reader.left()) break;  // runs past the tag's end: the frames end here
    const FrameFlags frame_flags = flags_of(major, head.format);
    const size_t limit = text_like(head.id) ? kMaxTextFrame : kMaxFrame;
    std::optional<uint32_t> declared;
    if (frame_flags.compressed) {
      // The unpacked size stands in the first bytes of the data (v2.3) or in the data-length indicator (v2.4).
      uint8_t prefix[5] = {};
      const size_t prefix_size = major == 3 ? 4 : (frame_flags.grouped ? 1 : 0) + 4;
      if (head.size >= prefix_size && (major == 3 || frame_flags.length_indicator)) {
        RegionReader peek = reader;
        if (peek.read(prefix, prefix_size))
          declared = major == 3 ? big_endian(prefix, 4) : syncsafe(prefix + prefix_size - 4);
      }
    }
    const uint64_t full_size = declared.value_or(head.size);
    if (std::max<uint64_t>(full_size, head.size) > limit) {
      reasons.add("the ID3v2 frame " + head.id + " (" + size_text(std::max<uint64_t>(full_size, head.size)) +
                  (declared ? " unpacked" : "") + ") was passed over: no real tag needs more than " +
                  size_text(limit) + " for it");
      if (!reader.skip(head.size)) break;
      continue;
    }
    if (!wanted.has(head.id) || frame_flags.encrypted || head.size == 0) {
      if (!reader.skip(head.size)) break;
      continue;
    }
    if (frames.size() + full_size > wanted.total) {
      reasons.add("the ID3v2 frame " + head.id + " was passed over: the frames read before it already take " +
                  size_text(frames.size()) + ", more than any real tag needs");
      if (!reader.skip(head.size)) break;
      continue;
    }
    std::string data(head.size, '\0');
    if (!reader.read(reinterpret_cast<uint8_t*>(data.data()), data.size())) break;
    std::string why;
    const std::optional<std::string> plain =
        plain_frame_data(std::move(data), major, frame_flags, limit, head.id, why);
    if (!plain) {
      if (!why.empty()) reasons.add(why + "; it was passed over");
      continue;
    }
    if (frames.size() + plain->size() > wanted.total) continue;
    append_frame(frames, major, head.id, *plain);
  }
  if (frames.empty()) return {};
  std::string tag = "ID3";
  tag += static_cast<char>(major);
  tag += '\0';
  tag += '\0';  // no unsynchronisation, extended header or footer
  put_syncsafe(tag, static_cast<uint32_t>(frames.size()));
  return tag + frames;
}

// The APE tag before the end of the file (and before an ID3v1 block there): its items and footer.
std::string read_ape(int fd, uint64_t file_size, Reasons& reasons) {
  for (const uint64_t after : {uint64_t{0}, uint64_t{128}}) {
    if (file_size < after + 32) continue;
    const uint64_t footer_at = file_size - after - 32;
    uint8_t footer[32];
    if (::pread(fd, footer, 32, static_cast<off_t>(footer_at)) != 32 || std::memcmp(footer, "APETAGEX", 8) != 0)
      continue;
    const uint64_t size = little_endian32(footer + 12);  // items and footer
    if (size < 32 || size > footer_at + 32) return {};
    if (size > kMaxApeTag) {
      reasons.add("the APE tag (" + size_text(size) + ") was passed over: no real tag needs more than " +
                  size_text(kMaxApeTag));
      return {};
    }
    std::string tag(size, '\0');
    if (::pread(fd, tag.data(), tag.size(), static_cast<off_t>(footer_at + 32 - size)) !=
        static_cast<ssize_t>(tag.size()))
      return {};
    return tag;
  }
  return {};
}

}  // namespace

std::string size_text(uint64_t bytes) {
  char text[32];
  if (bytes < 1000) {
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  } else if (bytes < 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
  } else if (bytes < uint64_t{1000} * 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
  }
  return text;
}

std::string bounded_id3v2_pictures(std::span<const uint8_t> tag, std::vector<std::string>& passed_over) {
  Reasons reasons(passed_over);
  const ReadAt read_at = [tag](uint8_t* out, size_t n, uint64_t offset) -> size_t {
    if (offset >= tag.size()) return 0;
    const size_t got = std::min<size_t>(n, tag.size() - offset);
    std::memcpy(out, tag.data() + offset, got);
    return got;
  };
  return read_id3v2(read_at, tag.size(), kPictures, reasons);
}

BoundedTags read_bounded_tags(const std::filesystem::path& file) {
  BoundedTags tags;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return tags;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    Reasons reasons(tags.passed_over);
    const auto file_size = static_cast<uint64_t>(st.st_size);
    const ReadAt read_at = [fd](uint8_t* out, size_t n, uint64_t offset) -> size_t {
      const ssize_t got = ::pread(fd, out, n, static_cast<off_t>(offset));
      return got > 0 ? static_cast<size_t>(got) : 0;
    };
    tags.id3v2 = read_id3v2(read_at, file_size, kTexts, reasons);
    tags.ape = read_ape(fd, file_size, reasons);
  }
  ::close(fd);
  return tags;
}

}  // namespace vemla
