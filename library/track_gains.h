// A track's ReplayGain values as the library keeps them: in the track table's file, in a table of their own
// beside the rows ("gains", a row per track), made when the first gains are written. Libraries made before
// it simply have no gains, and every program reads their files as before; a track's gains go with its row.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "gain_stage.h"

namespace vemla {

class Table;

// Read from the file's tags (at import and fix), or measured by the loudness scan.
enum class GainSource { Tag, Scan };
const char* gain_source_text(GainSource source);  // "tag", "scan"

struct TrackGains {
  ReplayGain gain;
  std::optional<double> loudness;  // integrated loudness in LUFS, when measured
  GainSource source = GainSource::Tag;

  bool operator==(const TrackGains&) const = default;
};

// The gains of the track table's current row; nothing when it has none (or the library keeps none).
std::optional<TrackGains> read_gains(Table& tracks);
// The gains of the row with that id (Table::row_id), without moving the table there.
std::optional<TrackGains> read_gains(Table& tracks, int64_t row_id);
// The gains of every track that has them, by the row's id (Table::row_id).
std::unordered_map<int64_t, TrackGains> read_all_gains(Table& tracks);

// Writes (or replaces) the gains of the row with that id, or of the current row, in the table's transaction.
// A TableError when the table cannot be changed.
void write_gains(Table& tracks, int64_t row_id, const TrackGains& gains);
void write_gains(Table& tracks, const TrackGains& gains);

}  // namespace vemla
