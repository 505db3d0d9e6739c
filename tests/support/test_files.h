// MP3 files the decoder tests make for themselves with lame from the test signal, MPEG audio frames of a
// given kind, and an independent reading of where the frames of a file lie, written from the standards
// without the decoder's code so that the tests compare the decoder with it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "frame_builder.h"

namespace vemla::test {

// Runs `lame --quiet <options> <wav> <mp3>`; true when lame succeeded and made the file.
bool lame_encode(const std::filesystem::path& wav, const std::filesystem::path& mp3,
                 const std::string& options);

// A Layer III frame header: 128 kbit/s, 44.1 kHz, stereo, no CRC, no padding.
HeaderFields layer3_fields();
// Bytes of the whole frame, header included.
unsigned frame_bytes(const HeaderFields& fields);
// A frame whose body (everything after the 4 header bytes) is `fill`, which must not be 0xFF so that no
// sync word appears inside.
std::vector<uint8_t> make_frame(const HeaderFields& fields, uint8_t fill);

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
