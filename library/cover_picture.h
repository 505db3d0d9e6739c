// A track's cover picture: the front cover of its ID3 version 2 tag (else the tag's first picture), else a
// picture file beside an audio file kept on disk (cover.jpg, folder.jpg, front.png and the like). Reading is
// bounded: a tag or a picture larger than a few megabytes is passed over. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace vemla {

class Table;

// The largest tag read for its pictures, and the largest picture taken.
inline constexpr size_t kMaxCoverTag = 16u << 20;
inline constexpr size_t kMaxCoverPicture = 8u << 20;

struct CoverPicture {
  std::string bytes;  // the encoded picture (JPEG, PNG ...); empty when there is none
  std::string mime;   // as the tag or the file's name says; may be empty
  bool empty() const { return bytes.empty(); }
};

// The length of the ID3 version 2 tag that the first ten bytes of a file announce (header, frames and
// footer), 0 when they announce none.
size_t id3v2_length(std::span<const uint8_t> head);

// The picture of a tag at the start of the bytes (the whole tag: id3v2_length of them).
CoverPicture picture_in_tag(std::span<const uint8_t> tag);

// The picture of a file on disk: in its tag, else in a picture file beside it.
CoverPicture cover_of_file(const std::filesystem::path& file);

// The tag at the start of the current track's stored audio (DATA), at most kMaxCoverTag bytes; empty when
// the track stores no audio, has no tag, or its tag is larger. Reads through the table: its thread only.
std::string stored_tag(Table& tracks);

}  // namespace vemla
