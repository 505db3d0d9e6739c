// The frame reader: finds frame headers in an MPEG audio file, loads frame bodies and hands out their bits,
// most significant first (ISO/IEC 11172-3, 2.4.1 and 2.4.2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "frame_index.h"
#include "header_word.h"

namespace vemla {

class Header;

enum class SyncMode {
  Initial,  // any sync word (sync_word)
  Locked,   // a frame of the stream whose first header was found (StreamLock)
};

// What every frame of a stream shares with its first header: the sync word, the version and the sampling
// frequency, and fields that can be decoded. Layer, bit rate and stereo mode may change from frame to frame,
// except in a free-format stream, whose frames keep the first one's layer and bit-rate index 0 (their length
// was measured for that layer).
struct StreamLock {
  uint32_t pattern = 0;  // the first header
  bool free_format = false;

  constexpr bool matches(uint32_t word) const {
    if (free_format) return (word & 0xFFFEFC00) == (pattern & 0xFFFEFC00);
    return (word & 0xFFF80C00) == (pattern & 0xFFF80C00) && header_fields_usable(word);
  }
};

class Ibitstream {
 public:
  // The largest frame body: a 160 kbit/s MPEG 2.5 Layer II frame at 8 kHz with padding (2881 bytes), as long
  // as a 640 kbit/s free-format Layer III frame at 32 kHz, less its header, rounded up to whole 32-bit words.
  static constexpr unsigned kBodyBytes = 2880;

  explicit Ibitstream(const std::string& file_name);
  // A stream over bytes in memory, read exactly as a file of those bytes would be. The bytes are not copied
  // and must outlive the stream.
  explicit Ibitstream(std::span<const uint8_t> bytes);
  ~Ibitstream();
  Ibitstream(const Ibitstream&) = delete;
  Ibitstream& operator=(const Ibitstream&) = delete;

  // Searches from the current position for the next header, one byte at a time in meaning. On success the
  // four header bytes are consumed, `word` holds them with the first byte most significant, and the frame
  // is counted.
  bool read_header_word(uint32_t& word, SyncMode mode);
  // Takes back the header just found: it is not counted and the search resumes one byte after its start.
  void reject_header();
  // Loads `byte_count` bytes (at most kBodyBytes) from the current position as the frame body.
  bool read_frame_body(unsigned byte_count);

  // The next n bits (0..25) of the body; zeros once the body is used up.
  uint32_t read_bits(unsigned n) {
    if (n == 0) return 0;
    const uint32_t byte = bit_position_ >> 3;
    uint32_t value = 0;
    if (byte < kBodyBytes) {
      const uint8_t* p = body_ + byte;
      value = (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]) << (bit_position_ & 7);
      value >>= 32 - n;
    }
    bit_position_ += n;
    return value;
  }
  // Where the next read_bits starts, in bits from the start of the body.
  uint32_t bit_position() const { return bit_position_; }
  // Copies n whole bytes of the body from a byte boundary (zeros past the body).
  void read_bytes(uint8_t* out, unsigned n);

  // What the locked search accepts: the frames of the stream whose first header was found.
  void set_lock(const StreamLock& lock) { lock_ = lock; }

  uint64_t stream_length() const { return file_size_; }

  // Positions the stream so that the next header read is frame n of a stream of constant frame length.
  bool seek_fixed(int n, unsigned frame_size);
  // Positions the stream at frame n of a 44.1/22.05 kHz stream using the header's padding table, and reads
  // frame n's header and body.
  bool seek_with_padding(int n, unsigned unpadded_frame_size, Header& header);
  // Positions the stream at frame n by the recorded frame starts, reading forward over frames (header and
  // body, nothing decoded) beyond the last one recorded, and reads frame n's header and body. Right for any
  // stream, also when the frame length varies.
  bool seek_recorded(int n, Header& header);

  int current_frame() const { return current_frame_; }
  int highest_frame() const { return highest_frame_; }

  bool is_open() const { return open_; }
  // Where the audio lies: after a leading ID3v2 tag and before trailing APE and ID3v1 tags.
  uint64_t audio_start() const { return audio_start_; }
  uint64_t audio_end() const { return audio_end_; }
  // Offset of frame 0's header (audio_start() until a frame was read).
  uint64_t first_frame_offset() const { return first_frame_offset_; }
  // Offset of the header found last.
  uint64_t header_offset() const { return header_offset_; }
  // Reads n bytes at an absolute offset within the audio, without moving the stream.
  bool peek(uint64_t offset, uint8_t* out, size_t n) const;
  // Starts of the frames read in sequence from frame 0.
  const FrameIndex& frame_starts() const { return frame_starts_; }

  const uint8_t* body() const { return body_; }
  unsigned body_length() const { return body_length_; }

 private:
  void find_tags();
  // Copies up to n bytes at an absolute file offset; the number copied.
  size_t read_at(uint64_t offset, uint8_t* out, size_t n) const;
  bool refill(uint64_t at);
  bool read_raw(uint8_t* out, size_t n);

  int fd_ = -1;
  std::span<const uint8_t> memory_;
  bool in_memory_ = false;
  bool open_ = false;
  uint64_t file_size_ = 0;
  uint64_t audio_start_ = 0;
  uint64_t audio_end_ = 0;

  // File read-ahead: the header search and the body loads work in memory.
  std::vector<uint8_t> chunk_;
  uint64_t chunk_start_ = 0;
  size_t chunk_length_ = 0;
  uint64_t position_ = 0;

  // Frame body, followed by zero bytes so that reads past it need no bound check per byte.
  alignas(16) uint8_t body_[kBodyBytes + 8] = {};
  unsigned body_length_ = 0;
  uint32_t bit_position_ = 0;

  StreamLock lock_;

  int current_frame_ = -1;
  int highest_frame_ = -1;
  int highest_before_header_ = -1;
  bool recorded_last_header_ = false;
  FrameIndex frame_starts_;
  uint64_t header_offset_ = 0;
  uint64_t first_frame_offset_ = 0;
};

}  // namespace vemla
