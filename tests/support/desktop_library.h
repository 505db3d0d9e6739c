// A small library for the desktop's tests: tracks encoded with lame, each with its own title, artist and album in
// an ID3 version 1 tag, added to a new library that stays open in the data module given.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vemla {
class Tdb;
}

namespace vemla::test {

struct TrackTexts {
  std::string title;
  std::string artist;
  std::string album;
};

// Makes the library "Set" in `folder` with a track of `seconds` seconds per entry of `tracks`, and leaves it open
// in `db`, on its first track. Returns the library's ".mb" file; empty when lame is missing.
std::filesystem::path make_tagged_library(Tdb& db, const std::filesystem::path& folder,
                                          const std::vector<TrackTexts>& tracks, double seconds);

// Three tracks: "First", "Second", "Third" by "Artist 1" ... on "Album 1" ...
std::vector<TrackTexts> three_tracks();

}  // namespace vemla::test
