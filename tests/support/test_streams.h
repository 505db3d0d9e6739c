// MPEG audio streams made at test time: a test signal written as WAV, encoded with twolame (Layer II) or lame
// (Layer III), and frames built by hand for header-only checks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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

// A long Layer III stream (minutes): `copies` copies of a 20-second make_layer3 stream one after the other,
// for runs that must still be going when the test interrupts them.
bool make_long_layer3(const std::filesystem::path& out, int copies);

// The temporary files of outputs being written in `folder` (".NAME.XXXXXXXX.part").
std::vector<std::filesystem::path> part_files(const std::filesystem::path& folder);
// Bytes written so far to those files.
uint64_t part_bytes(const std::filesystem::path& folder);

// True when a 16-bit PCM WAV file holds audio and the sizes in its header agree with its length.
bool wav_sizes_agree(const std::filesystem::path& path);

// The frame header of a file of `count` frames made of the 32-bit header `word` and `frame_bytes` - 4 zero
// bytes each.
std::unique_ptr<Header> header_of_frames(const std::filesystem::path& file, uint32_t word,
                                         unsigned frame_bytes, unsigned count = 4);

}  // namespace vemla::test
