// What a 32-bit frame header word says by itself (ISO/IEC 11172-3 and ISO/IEC 13818-3, 2.4.2.3, and MPEG 2.5,
// the extension of ISO/IEC 13818-3 to 8, 11.025 and 12 kHz that marks its frames with an 11-bit sync word and
// version bits 00). Bits are numbered in the word taken big-endian, bit 31 first.
#pragma once

#include <cstdint>

namespace vemla {

// Version bits 20..19: 3 MPEG-1, 2 MPEG-2 (LSF), 0 MPEG 2.5; 1 is reserved.
enum VersionCode : int { kMpeg25 = 0, kVersionReserved = 1, kMpeg2 = 2, kMpeg1 = 3 };

constexpr int version_code(uint32_t word) {
  return static_cast<int>((word >> 19) & 3);
}
// 1, 2 or 3; the reserved layer code 00 gives 0.
constexpr int layer_of(uint32_t word) {
  return static_cast<int>((4 - ((word >> 17) & 3)) & 3);
}
constexpr int bitrate_index_of(uint32_t word) {
  return static_cast<int>((word >> 12) & 15);
}
constexpr int frequency_code_of(uint32_t word) {
  return static_cast<int>((word >> 10) & 3);
}
constexpr int padding_of(uint32_t word) {
  return static_cast<int>((word >> 9) & 1);
}

// The 11-bit sync word with a version that is not reserved: where a frame can start.
constexpr bool sync_word(uint32_t word) {
  return (word & 0xFFE00000) == 0xFFE00000 && version_code(word) != kVersionReserved;
}

// True when the word names a version, a layer, a bit rate and a sampling frequency that can be decoded: the
// reserved version and layer codes, bit-rate index 0 (free format, whose length only the stream shows) and
// 15, and sampling code 3 never start a frame by themselves.
constexpr bool header_fields_usable(uint32_t word) {
  return version_code(word) != kVersionReserved && layer_of(word) != 0 && bitrate_index_of(word) != 0 &&
         bitrate_index_of(word) != 15 && frequency_code_of(word) != 3;
}

// The same, for a free-format header: bit-rate index 0.
constexpr bool free_format_fields_usable(uint32_t word) {
  return version_code(word) != kVersionReserved && layer_of(word) != 0 && bitrate_index_of(word) == 0 &&
         frequency_code_of(word) != 3;
}

// The bit rate in kbit/s of `bitrate_index` (0 for free format and the forbidden 15); version 0 is LSF
// (MPEG-2 and MPEG 2.5 share their bit rates), 1 MPEG-1.
unsigned bitrate_kbps(int version, int layer, int bitrate_index);

// The sampling frequency in Hz of a version code and a sampling code 0..2: MPEG-2 halves the MPEG-1 rates and
// MPEG 2.5 halves them again.
unsigned frequency_hz(int version_code, int frequency_code);

// Bytes in a padding slot: 4 in Layer I, 1 in Layers II and III.
constexpr unsigned slot_bytes(int layer) {
  return layer == 1 ? 4 : 1;
}

// Whole frame length in bytes, header included. `free_length` is the unpadded length of a free-format
// stream's frames, measured from the stream; other frames take theirs from the bit rate (ISO/IEC
// 11172-3 2.4.3.1; ISO/IEC 13818-3 2.4.3.1, where a Layer III frame carries half the samples and so half the
// bytes, while Layers I and II keep the MPEG-1 rule).
unsigned frame_length(int version_code, int layer, int bitrate_index, int frequency_code, int padding,
                      unsigned free_length = 0);
inline unsigned frame_length(uint32_t word, unsigned free_length = 0) {
  return frame_length(version_code(word), layer_of(word), bitrate_index_of(word), frequency_code_of(word),
                      padding_of(word), free_length);
}

// The bit rate in bits per second that frames of `length` bytes (unpadded, header included) carry.
unsigned bitrate_of_length(int version_code, int layer, int frequency_code, unsigned length);

}  // namespace vemla
