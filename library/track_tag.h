// What a track takes from its file's tags: title, artist, album, year and comment, and its ReplayGain values.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "gain_stage.h"

namespace vemla {

struct TagTexts {
  std::string title, artist, album, year, comment;  // UTF-8
};

// The texts of an ID3 version 1 block (the last 128 bytes of a file): all empty unless the block starts with
// its "TAG" marker. Each field is ISO-8859-1, kept as UTF-8; it ends at its first control byte (a 0 byte,
// anything below 0x20, 0x7F to 0x9F), and trailing blanks stay.
TagTexts parse_id3v1(std::span<const uint8_t, 128> block);

struct TagReading {
  TagTexts texts;
  ReplayGain gain;
  // Parts of the tags left out for their size, with the reason (bounded_tags.h); the rest is read.
  std::vector<std::string> passed_over;
};

// The file's tags, read within a bound on memory (bounded_tags.h). Each text is taken from its ID3 version 2
// tag when it has it there, else from its APE tag, else from its ID3 version 1 block. The ReplayGain values
// come from the first of these that has any: ID3v2 user texts, ID3v2 relative volume, APE items, the LAME
// header. All empty when the file cannot be opened.
TagReading read_tags(const std::filesystem::path& file);
// The texts of read_tags.
TagTexts read_tag(const std::filesystem::path& file);

}  // namespace vemla
