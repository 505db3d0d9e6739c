// The tracks of a library's track table as vemla-library lists them: lines for people, JSON for programs.
#pragma once

#include <string>

namespace vemla {

class Table;

// One array with an object per track: "RECORD" (its record number), every column of the table by its name
// and type except DATA and C1 ... C64, "STORED" (whether DATA holds audio) and "CATEGORIES" (the numbers of
// the categories it belongs to). Texts that are not valid UTF-8 get U+FFFD in place of the bad bytes.
std::string tracks_json(Table& tracks);

// A line per track: record number, playing time, title, artist, album and where the audio is, tab-separated.
std::string tracks_text(Table& tracks);

// The facts the info window shows, a line each, under its captions.
std::string track_info_text(Table& tracks);

}  // namespace vemla
