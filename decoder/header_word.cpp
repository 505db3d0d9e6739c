#include "header_word.h"

namespace vemla {
namespace {

// Bit rates in kbit/s, [version][layer - 1][bitrate_index]; version 0 is MPEG-2 LSF (and MPEG 2.5), 1 is
// MPEG-1. ISO/IEC 11172-3 2.4.2.3 and ISO/IEC 13818-3 2.4.2.3. Index 0 (free format) and 15 (forbidden) hold
// 0.
constexpr uint16_t kBitrates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};

// MPEG-1 sampling frequencies in Hz by sampling code; code 3 is reserved.
constexpr unsigned kMpeg1Frequencies[3] = {44100, 48000, 32000};

}  // namespace

unsigned bitrate_kbps(int version, int layer, int bitrate_index) {
  if (version < 0 || version > 1 || layer < 1 || layer > 3 || bitrate_index < 0 || bitrate_index > 15)
    return 0;
  return kBitrates[version][layer - 1][bitrate_index];
}

unsigned frequency_hz(int version_code, int frequency_code) {
  if (frequency_code < 0 || frequency_code > 2) return 1;
  const unsigned shift = version_code == kMpeg1 ? 0 : version_code == kMpeg2 ? 1 : 2;
  return kMpeg1Frequencies[frequency_code] >> shift;
}

unsigned frame_length(int version_code, int layer, int bitrate_index, int frequency_code, int padding,
                      unsigned free_length) {
  const unsigned slots = static_cast<unsigned>(padding) * slot_bytes(layer);
  if (bitrate_index == 0 && free_length > 0) return free_length + slots;
  const int version = version_code == kMpeg1 ? 1 : 0;
  const unsigned bitrate = bitrate_kbps(version, layer, bitrate_index) * 1000u;
  const unsigned frequency = frequency_hz(version_code, frequency_code);
  if (layer == 1) return (12 * bitrate / frequency) * 4 + slots;
  unsigned length = 144 * bitrate / frequency;
  if (layer == 3 && version == 0) length >>= 1;
  return length + slots;
}

unsigned bitrate_of_length(int version_code, int layer, int frequency_code, unsigned length) {
  const uint64_t frequency = frequency_hz(version_code, frequency_code);
  if (layer == 1) return static_cast<unsigned>(length / 4 * frequency / 12);
  const uint64_t per_frame = layer == 3 && version_code != kMpeg1 ? 72 : 144;
  return static_cast<unsigned>(length * frequency / per_frame);
}

}  // namespace vemla
