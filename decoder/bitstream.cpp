#include "bitstream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "header.h"
#include "notifier.h"

namespace vemla {
namespace {

constexpr size_t kChunkBytes = 64 * 1024;

uint32_t big_endian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Size of an ID3v2 tag starting at p (10 bytes available), or 0 when there is none (ID3v2.4 4.1: synchsafe
// size, plus a 10-byte footer when flag bit 4 is set).
uint64_t id3v2_tag_size(const uint8_t* p) {
  if (std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF) return 0;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  const uint64_t size = uint64_t{p[6]} << 21 | uint64_t{p[7]} << 14 | uint64_t{p[8]} << 7 | p[9];
  return 10 + size + ((p[5] & 0x10) ? 10 : 0);
}

}  // namespace

Ibitstream::Ibitstream(const std::string& file_name) : chunk_(kChunkBytes) {
  fd_ = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) {
    notifier().notify("Invalid handle", "Error opening file: " + file_name, MessageIcon::None);
    return;
  }
  open_ = true;
  file_size_ = static_cast<uint64_t>(st.st_size);
  find_tags();
}

Ibitstream::Ibitstream(std::span<const uint8_t> bytes) : chunk_(kChunkBytes) {
  memory_ = bytes;
  in_memory_ = true;
  open_ = true;
  file_size_ = bytes.size();
  find_tags();
}

void Ibitstream::find_tags() {
  // Tags are not audio: skip leading ID3v2 tags, stop before trailing APEv2 and ID3v1 tags.
  uint8_t tag[32];
  uint64_t start = 0;
  while (start + 10 <= file_size_ && read_at(start, tag, 10) == 10) {
    const uint64_t size = id3v2_tag_size(tag);
    if (size == 0) break;
    start = std::min(start + size, file_size_);
  }
  uint64_t end = file_size_;
  if (end >= start + 128 && read_at(end - 128, tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0) end -= 128;
  if (end >= start + 32 && read_at(end - 32, tag, 32) == 32 && std::memcmp(tag, "APETAGEX", 8) == 0) {
    // APE tag footer: size (items and footer) at byte 12, flags at byte 20; bit 31 announces a header.
    const uint64_t size = uint64_t{tag[12]} | uint64_t{tag[13]} << 8 | uint64_t{tag[14]} << 16 |
                          uint64_t{tag[15]} << 24;
    const uint64_t whole = size + ((tag[23] & 0x80) ? 32 : 0);
    if (whole >= 32 && whole <= end - start) end -= whole;
  }
  audio_start_ = start;
  audio_end_ = end;
  position_ = start;
  first_frame_offset_ = start;
}

Ibitstream::~Ibitstream() {
  if (fd_ >= 0) ::close(fd_);
}

size_t Ibitstream::read_at(uint64_t offset, uint8_t* out, size_t n) const {
  if (in_memory_) {
    if (offset >= memory_.size()) return 0;
    const size_t copied = static_cast<size_t>(std::min<uint64_t>(n, memory_.size() - offset));
    std::memcpy(out, memory_.data() + offset, copied);
    return copied;
  }
  size_t done = 0;
  while (fd_ >= 0 && done < n) {
    const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

bool Ibitstream::refill(uint64_t at) {
  chunk_start_ = at;
  chunk_length_ = 0;
  if (!open_ || at >= audio_end_) return false;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, audio_end_ - at));
  chunk_length_ = read_at(at, chunk_.data(), want);
  return chunk_length_ > 0;
}

bool Ibitstream::read_raw(uint8_t* out, size_t n) {
  if (position_ < chunk_start_ || position_ + n > chunk_start_ + chunk_length_) {
    if (!refill(position_) || chunk_length_ < n) return false;
  }
  std::memcpy(out, chunk_.data() + (position_ - chunk_start_), n);
  position_ += n;
  return true;
}

bool Ibitstream::peek(uint64_t offset, uint8_t* out, size_t n) const {
  if (!open_ || offset + n > audio_end_) return false;
  if (offset >= chunk_start_ && offset + n <= chunk_start_ + chunk_length_) {
    std::memcpy(out, chunk_.data() + (offset - chunk_start_), n);
    return true;
  }
  return read_at(offset, out, n) == n;
}

bool Ibitstream::read_header_word(uint32_t& word, SyncMode mode) {
  for (;;) {
    if (position_ < chunk_start_ || position_ + 4 > chunk_start_ + chunk_length_) {
      if (!refill(position_) || chunk_length_ < 4) return false;
    }
    const uint8_t* data = chunk_.data();
    const size_t last = chunk_length_ - 4;  // last offset in the chunk where a whole word lies
    size_t i = static_cast<size_t>(position_ - chunk_start_);
    for (; i <= last; ++i) {
      // Every header starts with a 0xFF byte; look only there.
      const void* hit = std::memchr(data + i, 0xFF, last - i + 1);
      if (!hit) {
        i = last + 1;
        break;
      }
      i = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
      const uint32_t v = big_endian32(data + i);
      const bool match = mode == SyncMode::Initial ? sync_word(v) : lock_.matches(v);
      if (match) {
        word = v;
        header_offset_ = chunk_start_ + i;
        position_ = header_offset_ + 4;
        ++current_frame_;
        highest_before_header_ = highest_frame_;
        if (current_frame_ > highest_frame_) highest_frame_ = current_frame_;
        if (current_frame_ == 0) first_frame_offset_ = header_offset_;
        // Frames read in sequence from frame 0 are recorded, whatever seek brought the stream here.
        recorded_last_header_ = static_cast<size_t>(current_frame_) == frame_starts_.size();
        if (recorded_last_header_) frame_starts_.append(header_offset_);
        return true;
      }
    }
    position_ = chunk_start_ + i;  // the words not yet tested start here
    if (position_ + 4 > audio_end_) return false;
  }
}

void Ibitstream::reject_header() {
  position_ = header_offset_ + 1;
  --current_frame_;
  highest_frame_ = highest_before_header_;
  if (recorded_last_header_) frame_starts_.pop_back();
  recorded_last_header_ = false;
}

bool Ibitstream::read_frame_body(unsigned byte_count) {
  if (byte_count > kBodyBytes) return false;
  const unsigned old_length = body_length_;
  const bool ok = read_raw(body_, byte_count);
  body_length_ = ok ? byte_count : 0;
  // Whatever lies beyond the body reads as zeros.
  if (old_length > body_length_) std::memset(body_ + body_length_, 0, old_length - body_length_);
  bit_position_ = 0;
  return ok;
}

void Ibitstream::read_bytes(uint8_t* out, unsigned n) {
  const uint32_t byte = bit_position_ >> 3;
  const unsigned available = byte < body_length_ ? body_length_ - byte : 0;
  const unsigned copied = std::min(n, available);
  std::memcpy(out, body_ + byte, copied);
  std::memset(out + copied, 0, n - copied);
  bit_position_ += 8 * n;
}

bool Ibitstream::seek_fixed(int n, unsigned frame_size) {
  if (n < 0 || !open_) return false;
  current_frame_ = n - 1;
  // Frame 0 is where the first header was found, not byte 0: the file may begin with a tag.
  position_ = first_frame_offset_ + static_cast<uint64_t>(n) * (frame_size + 4);
  return position_ < audio_end_;
}

bool Ibitstream::seek_with_padding(int n, unsigned unpadded_frame_size, Header& header) {
  if (n < 0 || !open_) return false;
  const auto frame_start = [&](int k) {
    const std::vector<uint32_t>& table = header.padding_offsets();
    const uint64_t padded = k > 0 && static_cast<size_t>(k - 1) < table.size() ? table[k - 1] : 0;
    return first_frame_offset_ + static_cast<uint64_t>(k) * (unpadded_frame_size + 4) + padded;
  };
  Crc16* crc = nullptr;
  if (n > highest_frame_) {
    position_ = highest_frame_ < 0 ? audio_start_ : frame_start(highest_frame_ + 1);
    current_frame_ = highest_frame_;
    while (highest_frame_ < n) {
      if (!header.read_frame_header(*this, crc)) return false;
    }
    return true;
  }
  position_ = frame_start(n);
  current_frame_ = n - 1;
  return header.read_frame_header(*this, crc);
}

bool Ibitstream::seek_recorded(int n, Header& header) {
  if (n < 0 || !open_) return false;
  if (frame_starts_.empty()) {
    position_ = audio_start_;
    current_frame_ = -1;
  } else {
    const size_t k = std::min(static_cast<size_t>(n), frame_starts_.size() - 1);
    position_ = frame_starts_.at(k);
    current_frame_ = static_cast<int>(k) - 1;
  }
  Crc16* crc = nullptr;
  do {
    if (!header.read_frame_header(*this, crc)) return false;
  } while (current_frame_ < n);
  return true;
}

}  // namespace vemla
