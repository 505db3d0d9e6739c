#include "desktop_library.h"

#include "data.h"
#include "library_files.h"
#include "test_streams.h"
#include "track_files.h"
#include "track_import.h"

namespace vemla::test {

std::filesystem::path make_tagged_library(Tdb& db, const std::filesystem::path& folder,
                                          const std::vector<TrackTexts>& tracks, double seconds) {
  const std::filesystem::path signal = folder / "signal.mp3";
  if (!make_layer3(signal, 2, 44100, seconds)) return {};
  const LibraryPath library{folder, "Set"};
  if (create_library(db, library) != CreateResult::Created) return {};
  for (size_t i = 0; i < tracks.size(); ++i) {
    const std::filesystem::path file = copy_track(signal, folder / ("track" + std::to_string(i + 1) + ".mp3"));
    append_id3v1(file, tracks[i].title, tracks[i].artist, tracks[i].album, "2024", "");
    if (!import_track(db.Table1, file, false).added()) return {};
  }
  db.Table1.first();
  return library.store();
}

std::vector<TrackTexts> three_tracks() {
  return {{"First", "Artist 1", "Album 1"}, {"Second", "Artist 2", "Album 2"}, {"Third", "Artist 3", "Album 3"}};
}

}  // namespace vemla::test
