#include "header.h"

#include <algorithm>
#include <array>
#include <string>

#include "notifier.h"
#include "free_format.h"
#include "header_word.h"

namespace vemla {
namespace {

// Playing time of one frame in ms, [version][layer - 1][sample_frequency], version 0 MPEG 2.5, 1 MPEG-2 LSF,
// 2 MPEG-1: 384 samples for Layer I, 1152 for Layer II, 1152 (MPEG-1) or 576 (LSF, MPEG 2.5) for Layer III.
// LSF Layers I and II keep their full sample counts (ISO/IEC 13818-3, 2.4.3), so their frames last twice as
// long as MPEG-1 frames at twice the rate; MPEG 2.5 frames last twice as long as LSF frames.
constexpr float kFrameDurations[3][3][3] = {
    {{34.829932f, 32.0f, 48.0f}, {104.489796f, 96.0f, 144.0f}, {52.244898f, 48.0f, 72.0f}},
    {{17.414966f, 16.0f, 24.0f}, {52.244898f, 48.0f, 72.0f}, {26.12245f, 24.0f, 36.0f}},
    {{8.707483f, 8.0f, 12.0f}, {26.12245f, 24.0f, 36.0f}, {26.12245f, 24.0f, 36.0f}},
};

constexpr const char* kLayerTexts[3] = {"I", "II", "III"};
constexpr const char* kModeTexts[4] = {"Stereo", "Joint Stereo", "Dual Channel", "Single Channel"};
// [version][sample_frequency] as kFrameDurations. Every text fits the library's 9-character column, so 11.025
// kHz is given in Hz.
constexpr const char* kSampleRateTexts[3][3] = {
    {"11025 Hz", "12 kHz", "8 kHz"}, {"22.05 kHz", "24 kHz", "16 kHz"}, {"44.1 kHz", "48 kHz", "32 kHz"}};

// The row of kFrameDurations and kSampleRateTexts.
int version_row(int version_code) { return version_code == kMpeg1 ? 2 : version_code == kMpeg2 ? 1 : 0; }

// "free format", "32 kbit/s", ..., "forbidden", one text per entry of the bit-rate table.
const std::array<std::array<std::array<std::string, 16>, 3>, 2>& bitrate_texts() {
  static const auto texts = [] {
    std::array<std::array<std::array<std::string, 16>, 3>, 2> t;
    for (int v = 0; v < 2; ++v)
      for (int l = 0; l < 3; ++l)
        for (int i = 0; i < 16; ++i)
          t[v][l][i] = i == 0    ? "free format"
                       : i == 15 ? "forbidden"
                                 : std::to_string(bitrate_kbps(v, l + 1, i)) + " kbit/s";
    return t;
  }();
  return texts;
}

uint32_t big_endian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// True when `following` can be the header of the frame after one headed by `word`: the same version, layer
// and sampling frequency (the stereo mode may change).
bool same_kind(uint32_t word, uint32_t following) {
  return (following & 0xFFFE0C00) == (word & 0xFFFE0C00) && header_fields_usable(following);
}

// A first header is taken only when frames of the same kind follow where it ends: pictures in tags and stray
// bytes hold lone header-like words and, now and then, a pair. The next header must agree, or the audio end
// there; the one after it must agree too unless the audio ends before a whole header could stand there.
bool followed_by_frames(Ibitstream& stream, uint32_t word) {
  uint64_t next = stream.header_offset() + frame_length(word);
  for (int k = 0; k < 2; ++k) {
    if (next == stream.audio_end()) return true;
    uint8_t bytes[4];
    if (!stream.peek(next, bytes, 4)) return k > 0 && next + 4 > stream.audio_end();
    const uint32_t following = big_endian32(bytes);
    if (!same_kind(word, following)) return false;
    next += frame_length(following);
  }
  return true;
}

}  // namespace

Header::Header() = default;
Header::~Header() = default;

bool Header::find_first_header(Ibitstream& stream, uint32_t& word) {
  bool unknown_frequency = false;
  int too_fast_layer = 0;  // the layer of free-format frames above its highest bit rate, when found
  // Each free-format header is measured against the bytes up to two frames on: in long junk with many
  // header-like words, only the first few are, so that the search stays linear.
  int free_format_attempts = 64;
  for (;;) {
    if (!stream.read_header_word(word, SyncMode::Initial)) {
      // Frames that cannot be played are all the stream showed: they are named.
      if (too_fast_layer) {
        notifier().notify("Stream not supported",
                          "Free-format MPEG audio above " +
                              std::to_string(kFreeFormatLimitKbps[too_fast_layer - 1]) +
                              " kbit/s, which Vemla does not play",
                          MessageIcon::Error);
      } else if (unknown_frequency) {
        notifier().notify("Stream not supported", "Unknown sample frequency in header", MessageIcon::Error);
      }
      return false;
    }
    if (frequency_code_of(word) == 3) {
      // Remembered only when the rest of the word is usable, so that stray sync bytes stay quiet.
      unknown_frequency |= header_fields_usable(word & ~0x0C00u);
    } else if (bitrate_index_of(word) == 0 && free_format_attempts > 0) {
      --free_format_attempts;
      free_length_ = measure_free_format(stream, stream.header_offset(), word);
      if (free_length_ > 0) return true;
      if (!too_fast_layer && measure_free_format(stream, stream.header_offset(), word, true) > 0)
        too_fast_layer = layer_of(word);
    } else if (header_fields_usable(word) && followed_by_frames(stream, word)) {
      return true;
    }
    stream.reject_header();
  }
}

void Header::take_fields(uint32_t word) {
  version_code_ = vemla::version_code(word);
  version_ = version_code_ == kMpeg1 ? 1 : 0;
  layer_ = (4 - ((word >> 17) & 3)) & 3;
  protection_bit_ = (word >> 16) & 1;
  bitrate_index_ = (word >> 12) & 15;
  sample_frequency_ = (word >> 10) & 3;
  padding_bit_ = (word >> 9) & 1;
  mode_ = (word >> 6) & 3;
  mode_extension_ = (word >> 4) & 3;
  copyright_ = (word >> 3) & 1;
  original_ = (word >> 2) & 1;

  intensity_stereo_bound_ = mode_ == JointStereo ? 4 * mode_extension_ + 4 : 0;
  if (layer_ == 1) {
    subband_count_ = 32;
  } else if (version_ == 0) {
    subband_count_ = 30;  // ISO/IEC 13818-3 Table B.1: one allocation table at every bit rate
  } else {
    const unsigned index = per_channel_bitrate_index();
    if (index == 1 || index == 2)
      subband_count_ = sample_frequency_ == 2 ? 12 : 8;
    else
      subband_count_ = sample_frequency_ == 1 || (index >= 3 && index <= 5) ? 27 : 30;
  }
  intensity_stereo_bound_ = std::min(intensity_stereo_bound_, subband_count_);
}

unsigned Header::per_channel_bitrate_index() const {
  if (mode_ == SingleChannel) return static_cast<unsigned>(bitrate_index_);
  return bitrate_index_ == 4 ? 1u : static_cast<unsigned>(bitrate_index_) - 4u;
}

bool Header::read_frame_header(Ibitstream& stream, Crc16*& crc_out) {
  crc_out = nullptr;
  tag_frame_ = false;
  uint32_t word = 0;
  if (!synced_) {
    if (!find_first_header(stream, word)) return false;
    lock_ = StreamLock{word, free_length_ > 0};
    stream.set_lock(lock_);
    synced_ = true;
  } else if (!stream.read_header_word(word, SyncMode::Locked)) {
    return false;
  }
  take_fields(word);
  compute_frame_size();
  if (!stream.read_frame_body(frame_size_)) return false;

  if (protection_bit_ == 0) {
    checksum_ = static_cast<uint16_t>(stream.read_bits(16));
    if (!crc_) crc_ = std::make_unique<Crc16>();
    // Each frame's CRC covers its own bits only, also after a seek read headers without checking them.
    crc_->take_checksum();
    crc_->feed_bits(word & 0xFFFF, 16);
    crc_out = crc_.get();
  }

  const int k = stream.current_frame();
  if (k == 0) {
    if (stream.highest_frame() == 0) note_first_frame(stream);
    tag_frame_ = vbr_header_.present();
  }

  if (sample_frequency_ == 0) {
    if (padding_offsets_.empty()) padding_offsets_.assign(std::max(1u, frame_count_estimate(stream)), 0);
    // More frames than estimated (the bit rate fell): the table grows.
    if (static_cast<size_t>(k) >= padding_offsets_.size())
      padding_offsets_.resize(std::max<size_t>(k + 1, padding_offsets_.size() * 2), 0);
    if (k == 0)
      padding_offsets_[0] = padding_bytes();
    else if (k == stream.highest_frame())
      padding_offsets_[k] = padding_offsets_[k - 1] + padding_bytes();
  }
  if (k > checked_frame_ && k == stream.highest_frame()) check_frame_start(stream);
  return true;
}

void Header::note_first_frame(const Ibitstream& stream) {
  vbr_header_ = layer_ == 3 ? find_vbr_header(stream.body(), frame_size_, version_, mode_, protection_bit_ == 0)
                            : VbrHeader{};
  first_frame_end_ = stream.header_offset() + 4 + frame_size_;
  first_layer_ = layer_;
  first_bitrate_index_ = bitrate_index_;
  first_unpadded_length_ = frame_size_ + 4 - padding_bytes();
}

// The constant-length seeks find frame k at k whole unpadded frames from frame 0 (plus the padded frames
// before it at 44.1 and 22.05 kHz). Once a frame is read for the first time somewhere else, or with another
// layer or bit rate, they cannot be trusted for this stream.
void Header::check_frame_start(const Ibitstream& stream) {
  const int k = stream.current_frame();
  checked_frame_ = k;
  if (layer_ != first_layer_ || bitrate_index_ != first_bitrate_index_) {
    arithmetic_holds_ = false;
    return;
  }
  const uint64_t padded = sample_frequency_ == 0 && k > 0 ? padding_offsets_[k - 1] : 0;
  const uint64_t expected =
      stream.first_frame_offset() + static_cast<uint64_t>(k) * first_unpadded_length_ + padded;
  if (stream.header_offset() != expected) arithmetic_holds_ = false;
}

unsigned Header::compute_frame_size() {
  const unsigned length =
      frame_length(version_code_, layer_, bitrate_index_, sample_frequency_, padding_bit_, free_length_);
  main_data_slots_ = 0;
  if (layer_ == 3) {
    const int side_info = version_ == 1 ? (mode_ == SingleChannel ? 17 : 32) : (mode_ == SingleChannel ? 9 : 17);
    main_data_slots_ = static_cast<int>(length) - side_info - (protection_bit_ == 0 ? 2 : 0) - 4;
  }
  frame_size_ = length - 4;
  return frame_size_;
}

bool Header::seek_to_frame(Ibitstream& stream, unsigned frame_number) {
  const int n = static_cast<int>(frame_number);
  // Frames of varying length are found by their recorded starts, and by reading forward beyond them.
  if (!constant_frame_length()) return stream.seek_recorded(n, *this);
  const unsigned unpadded = frame_size_ - padding_bytes();
  // The padded seek reads forward beyond the frames read, so it is right whatever lies there.
  if (sample_frequency_ == 0) return stream.seek_with_padding(n, unpadded, *this);
  // Frame n is loaded here as after a padded seek, so that the caller always continues with frame n.
  Crc16* crc = nullptr;
  if (n >= 0 && stream.seek_fixed(n, unpadded) && read_frame_header(stream, crc)) {
    const uint64_t expected = stream.first_frame_offset() + static_cast<uint64_t>(n) * (unpadded + 4);
    const bool same_kind = layer_ == first_layer_ && bitrate_index_ == first_bitrate_index_;
    if (stream.header_offset() == expected && same_kind) return true;
    // Not a frame of this length where the arithmetic put it: the frames read so far gave no sign of a
    // varying length, but the stream has one.
    arithmetic_holds_ = false;
  }
  return stream.seek_recorded(n, *this);
}

unsigned Header::frame_count_estimate(const Ibitstream& stream) const {
  const unsigned unpadded = frame_size_ + 4 - padding_bytes();
  if (vbr_header_.present()) {
    // The encoder's header frame is not audio: what follows it is counted.
    if (tag_count_holds(stream)) return vbr_header_.frames;
    if (!counted_frames_) counted_frames_ = count_frames_after_tag(stream);
    return *counted_frames_;
  }
  const uint64_t start = stream.highest_frame() >= 0 ? stream.first_frame_offset() : stream.audio_start();
  if (unpadded <= 4 || stream.audio_end() <= start) return 0;
  if (stream.highest_frame() >= 0 && bit_rate_varies(stream)) {
    // One frame's length says nothing of the others': they are counted, the first among them.
    if (!counted_frames_) counted_frames_ = 1 + count_frames_after_tag(stream);
    return *counted_frames_;
  }
  return static_cast<unsigned>((stream.audio_end() - start) / unpadded);
}

// Whether a stream without an encoder's header changes its bit rate (or layer): the frames that follow the
// first, and a frame found a quarter, half and three quarters of the way in (a header of the stream's kind
// with two more where its length says), are compared with the first. Silence at the start of a variable
// bit rate stream is as short as frames can be, so the first frames alone would miss it.
bool Header::bit_rate_varies(const Ibitstream& stream) const {
  if (varies_) return *varies_;
  varies_ = false;
  const auto differs = [this](uint32_t word) {
    return static_cast<int>((word >> 12) & 15) != first_bitrate_index_ ||
           static_cast<int>((4 - ((word >> 17) & 3)) & 3) != first_layer_;
  };
  constexpr size_t kProbeBytes = 8 * 1024;
  std::vector<uint8_t> bytes(kProbeBytes);
  const uint64_t first = stream.first_frame_offset();
  const uint64_t end = stream.audio_end();
  for (const uint64_t at :
       {first, first + (end - first) / 4, first + (end - first) / 2, first + (end - first) / 4 * 3}) {
    const size_t length = static_cast<size_t>(std::min<uint64_t>(kProbeBytes, end - at));
    if (length < 4 || !stream.peek(at, bytes.data(), length)) continue;
    for (size_t i = 0; i + 4 <= length; ++i) {
      const uint32_t word = big_endian32(bytes.data() + i);
      if (!lock_.matches(word)) continue;
      // Frames in a row from here, each where the one before it ends.
      size_t next = i;
      int run = 0;
      bool varied = false;
      while (next + 4 <= length && lock_.matches(big_endian32(bytes.data() + next))) {
        const uint32_t frame = big_endian32(bytes.data() + next);
        varied = varied || differs(frame);
        next += frame_length(frame, free_length_);
        ++run;
      }
      if (run < 3) continue;
      if (varied) varies_ = true;
      break;
    }
    if (*varies_) break;
  }
  return *varies_;
}

// A count the audio bytes after the header's frame could not hold even in the shortest frames, or that leaves
// more bytes than the longest frames would fill, was damaged or belongs to another file. An Info header marks
// a constant bit rate: its frames are those of the bit rate of the frame that follows it. A header that
// announces more bytes than the file holds heads a file cut short.
bool Header::tag_count_holds(const Ibitstream& stream) const {
  const uint64_t frames = vbr_header_.frames;
  if (frames == 0) return false;
  const uint64_t end = stream.audio_end();
  const uint64_t bytes = end > first_frame_end_ ? end - first_frame_end_ : 0;
  // Free format has one length (and the padding slot).
  const int low = free_length_ ? 0 : 1, high = free_length_ ? 0 : 14;
  uint64_t shortest = frame_length(version_code_, first_layer_, low, sample_frequency_, 0, free_length_);
  uint64_t longest = frame_length(version_code_, first_layer_, high, sample_frequency_, 1, free_length_);
  if (vbr_header_.kind == VbrHeader::Kind::Info) {
    uint8_t next[4];
    if (!stream.peek(first_frame_end_, next, 4)) return false;
    const uint32_t word = big_endian32(next);
    if (!lock_.matches(word)) return false;
    shortest = frame_length(word & ~0x200u, free_length_);
    longest = frame_length(word | 0x200u, free_length_);
  }
  const uint64_t announced = vbr_header_.bytes;
  const uint64_t held = end > stream.first_frame_offset() ? end - stream.first_frame_offset() : 0;
  if (announced > held + longest) return false;
  return frames * shortest <= bytes && frames >= bytes / longest;
}

// The frames after the header's frame, found as the decoder's search finds them but by their headers alone:
// a header of the stream's kind starts a frame when the whole frame lies within the audio (else the stream
// ends there), and anything else is passed over a byte at a time.
unsigned Header::count_frames_after_tag(const Ibitstream& stream) const {
  constexpr size_t kChunkBytes = 64 * 1024;
  std::vector<uint8_t> chunk(kChunkBytes);
  uint64_t chunk_start = 0;
  size_t chunk_length = 0;
  const uint64_t end = stream.audio_end();
  uint64_t at = first_frame_end_;
  unsigned frames = 0;
  while (at + 4 <= end) {
    if (at < chunk_start || at + 4 > chunk_start + chunk_length) {
      chunk_start = at;
      chunk_length = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, end - at));
      if (!stream.peek(at, chunk.data(), chunk_length)) break;
    }
    const uint32_t word = big_endian32(chunk.data() + (at - chunk_start));
    if (!lock_.matches(word)) {
      ++at;
      continue;
    }
    const uint64_t length = frame_length(word, free_length_);
    if (at + length > end) break;
    ++frames;
    at += length;
  }
  return frames;
}

float Header::frame_duration_ms() const {
  if (layer_ < 1 || sample_frequency_ > 2) return 0.0f;
  return kFrameDurations[version_row(version_code_)][layer_ - 1][sample_frequency_];
}

float Header::total_duration_ms(const Ibitstream& stream) const {
  return static_cast<float>(frame_count_estimate(stream)) * frame_duration_ms();
}

unsigned Header::bitrate() const {
  if (bitrate_index_ == 0 && free_length_ > 0)
    return bitrate_of_length(version_code_, layer_, sample_frequency_, free_length_);
  return bitrate_kbps(version_, layer_, bitrate_index_) * 1000u;
}

unsigned Header::frequency() const { return frequency_hz(version_code_, sample_frequency_); }

unsigned Header::samples_per_frame() const {
  if (layer_ == 1) return 384;
  return layer_ == 3 && version_ == 0 ? 576 : 1152;
}

const char* Header::layer_text() const { return layer_ >= 1 && layer_ <= 3 ? kLayerTexts[layer_ - 1] : nullptr; }

const char* Header::bitrate_text() const {
  if (layer_ < 1 || layer_ > 3 || bitrate_index_ < 0 || bitrate_index_ > 15) return nullptr;
  return bitrate_texts()[version_][layer_ - 1][bitrate_index_].c_str();
}

const char* Header::sample_rate_text() const {
  return sample_frequency_ <= 2 ? kSampleRateTexts[version_row(version_code_)][sample_frequency_] : nullptr;
}

const char* Header::mode_text() const { return mode_ <= 3 ? kModeTexts[mode_] : nullptr; }

const char* Header::version_text() const {
  return version_code_ == kMpeg1 ? "MPEG-1" : version_code_ == kMpeg2 ? "MPEG-2 (LSF)" : "MPEG-2.5";
}

}  // namespace vemla
