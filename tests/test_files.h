// Files the decoder tests make for themselves: a music-like test signal, the MP3 files lame makes of it, and
// MPEG audio frames built by hand. Everything here follows the standards on its own terms, without the
// decoder's code, so that the tests compare the decoder with an independent reading.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vemla::test {

// Interleaved 16-bit samples: a few sines with vibrato and tremolo, different in each channel, and short
// bursts of noise, at about -6 dB full scale.
std::vector<int16_t> music_like_signal(unsigned frequency, unsigned channels, double seconds,
                                       uint32_t seed = 1);
void write_wav(const std::filesystem::path& path, const std::vector<int16_t>& samples, unsigned channels,
               unsigned frequency);

// Runs `lame --quiet <options> <wav> <mp3>`; true when lame succeeded and made the file.
bool lame_encode(const std::filesystem::path& wav, const std::filesystem::path& mp3,
                 const std::string& options);

// One MPEG audio frame header's fields, as ISO/IEC 11172-3 and 13818-3 (2.4.2.3) name them.
struct FrameFields {
  int version = 1;  // 1 MPEG-1, 0 MPEG-2 LSF
  int layer = 3;
  int bitrate_index = 9;
  int sample_frequency = 0;
  int padding = 0;
  int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  bool crc = false;
};

uint32_t header_word(const FrameFields& fields);
// Bytes of the whole frame, header included.
unsigned frame_bytes(const FrameFields& fields);
// A frame whose body (everything after the 4 header bytes) is `fill`, which must not be 0xFF so that no
// sync word appears inside.
std::vector<uint8_t> make_frame(const FrameFields& fields, uint8_t fill);

// Where the frames of an MPEG audio file lie, found by walking from the first run of three well-formed
// frames after a leading ID3v2 tag from one sync word to the next by the frame lengths, until a frame does
// not fit or no header is where one should be.
struct FrameWalk {
  std::vector<uint64_t> offsets;
  std::vector<uint32_t> words;
  uint64_t end = 0;  // where the last frame ends
};
FrameWalk walk_frames(const std::vector<uint8_t>& file);

// The body offset of an encoder's "Xing"/"Info" header in a Layer III frame, or 0 when there is none there.
size_t xing_offset(const std::vector<uint8_t>& file, uint64_t frame_offset);

}  // namespace vemla::test
