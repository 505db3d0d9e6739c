// MPEG audio streams made at test time: a test signal written as WAV, encoded with twolame (Layer II) or lame
// (Layer III), and frames built by hand for header-only checks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "bitstream.h"
#include "header.h"

namespace vemla::test {

// Writes `seconds` of a 16-bit test signal: a different tone in each channel, so that swapped or lost
// channels show.
void write_test_wav(const std::filesystem::path& path, unsigned channels, unsigned frequency, double seconds);

// Encodes the test signal to Layer II with twolame (`extra` adds options, for example "-p" for CRC words);
// false when twolame is missing or fails.
bool make_layer2(const std::filesystem::path& out, unsigned channels, unsigned frequency, double seconds,
                 const std::string& extra = "");
// The same with lame, Layer III without an information frame.
bool make_layer3(const std::filesystem::path& out, unsigned channels, unsigned frequency, double seconds);

// The frame header of a file of `count` frames made of the 32-bit header `word` and `frame_bytes` - 4 zero
// bytes each.
std::unique_ptr<Header> header_of_frames(const std::filesystem::path& file, uint32_t word,
                                         unsigned frame_bytes, unsigned count = 4);

}  // namespace vemla::test
