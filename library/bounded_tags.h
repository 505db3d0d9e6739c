// A file's ID3v2 and APE tags cut down to what the import reads (texts, comments, ReplayGain), with a bound on
// what that takes in memory, whatever sizes the file's tag and frame headers claim.
//
// The tag library reads whole tags and inflates compressed frames without limit, so a file of 1 MB can make
// it hold gigabytes. Here only the headers are walked (a frame not wanted is passed over without being read),
// the wanted frames are read within their limits, a compressed one is inflated with a bound and kept
// uncompressed, and the result is a clean tag of those frames alone for the tag library to parse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vemla {

// What a tag may hold before a frame or tag is passed over: far beyond any real text, comment or picture.
constexpr size_t kMaxTextFrame = size_t{1} << 20;   // a text, comment or user text frame, unpacked
constexpr size_t kMaxFrame = size_t{16} << 20;      // any other frame (a picture), unpacked
constexpr size_t kMaxKeptFrames = size_t{4} << 20;  // all the frames kept from one tag
constexpr size_t kMaxApeTag = size_t{16} << 20;     // an APE tag, read whole

struct BoundedTags {
  // A clean ID3v2 tag of the same version holding the wanted frames, without compression, unsynchronisation,
  // extended header or padding; empty when the file starts with none.
  std::string id3v2;
  // The APE tag's items and footer as they are in the file; empty when there is none (or it was passed over).
  std::string ape;
  // Why a frame or a tag was left out, one line each ("the ID3v2 frame TIT2 would unpack to 1.0 GB").
  std::vector<std::string> passed_over;
};

// Reads the tags of the file within the bounds above; nothing when it cannot be read.
BoundedTags read_bounded_tags(const std::filesystem::path& file);

// The pictures of an ID3v2 tag held in memory (the whole tag), read the same way: a clean tag of its picture
// frames, each within kMaxFrame unpacked and twice that in all; empty when it has none.
std::string bounded_id3v2_pictures(std::span<const uint8_t> tag, std::vector<std::string>& passed_over);

// "512 bytes", "1.5 MB", "1.0 GB": a size as the reasons give it.
std::string size_text(uint64_t bytes);

}  // namespace vemla
