// Where a track's audio is, read from its row without moving the track table there: the window's controls
// follow the table's current row, and the player wants another row while they show the one playing (the track
// that follows it).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vemla {

class Table;

struct TrackSource {
  bool stored = false;  // the audio is stored in the library (DATA)
  std::string path;     // the file the audio is kept in on disk (PAD)
  int64_t id = 0;       // the row's id (Table::row_id), for what is kept beside it
};

// Of record `record` (1-based) of the open track table. Errors are TableErrors (also a record outside the
// table).
TrackSource track_source(Table& tracks, int record);
// Writes record `record`'s stored audio into `file` (an empty file when it has none).
void save_stored_audio(Table& tracks, int record, const std::filesystem::path& file);

}  // namespace vemla
