// The texts a track takes from its file's tags: title, artist, album, year and comment.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace vemla {

struct TagTexts {
  std::string title, artist, album, year, comment;  // UTF-8
};

// The texts of an ID3 version 1 block (the last 128 bytes of a file): all empty unless the block starts with
// its "TAG" marker. Each field is ISO-8859-1, kept as UTF-8; it ends at its first control byte (a 0 byte,
// anything below 0x20, 0x7F to 0x9F), and trailing blanks stay.
TagTexts parse_id3v1(std::span<const uint8_t, 128> block);

// The file's tag texts: each taken from its ID3 version 2 tag when it has it there, else from its APE tag,
// else from its ID3 version 1 block. All empty when the file cannot be opened.
TagTexts read_tag(const std::filesystem::path& file);

}  // namespace vemla
