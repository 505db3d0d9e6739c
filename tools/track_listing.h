// The tracks of a library's track table as vemla-library lists them: lines for people, JSON for programs.
#pragma once

#include <string>

namespace vemla {

class Table;

// One array with an object per track: "RECORD" (its record number), every column of the table by its name
// and type except DATA and C1 ... C64, "STORED" (whether DATA holds audio), "CATEGORIES" (the numbers of
// the categories it belongs to), its gains: "REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_ALBUM_GAIN" (dB),
// "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_PEAK" (1.0 full scale), "LOUDNESS" (LUFS) and "GAIN_SOURCE"
// ("tag" or "scan"), each null where unknown. Texts that are not valid UTF-8 get U+FFFD in place of the bad bytes.
std::string tracks_json(Table& tracks);

// A line per track: record number, playing time, title, artist, album and where the audio is, tab-separated.
std::string tracks_text(Table& tracks);

// The facts the info window shows, a line each, under its captions, then the track's gains.
std::string track_info_text(Table& tracks);

}  // namespace vemla
