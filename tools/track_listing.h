// The tracks of a library's track table as vemla-library lists them: lines for people, JSON for programs.
#pragma once

#include <string>
#include <vector>

namespace vemla {

class Table;

// What a listing shows, and a line for each track it found damaged: its record number, its file and the
// cells that cannot be read as their column's kind, which are shown as the column's empty value (as the
// window shows them) while the track's other values and the other tracks are listed as ever.
struct Listing {
  std::string text;
  std::vector<std::string> damaged;
};

// One array with an object per track: "RECORD" (its record number), every column of the table by its name
// and type except DATA and C1 ... C64, "STORED" (whether DATA holds audio), "CATEGORIES" (the numbers of
// the categories it belongs to), its gains: "REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_ALBUM_GAIN" (dB),
// "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_PEAK" (1.0 full scale), "LOUDNESS" (LUFS) and "GAIN_SOURCE"
// ("tag" or "scan"), each null where unknown, and, for a damaged track, "DAMAGED" (the names of the columns
// that cannot be read). Texts that are not valid UTF-8 get U+FFFD in place of the bad bytes.
Listing tracks_json(Table& tracks);

// A line per track: record number, playing time, title, artist, album and where the audio is, tab-separated.
Listing tracks_text(Table& tracks);

// The facts the info window shows of the current track, a line each, under its captions, then its gains.
Listing track_info_text(Table& tracks);

}  // namespace vemla
