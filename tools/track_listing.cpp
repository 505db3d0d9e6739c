#include "track_listing.h"

#include <nlohmann/json.hpp>

#include "rows.h"
#include "table.h"
#include "track_facts.h"
#include "track_ops.h"

namespace vemla {

namespace {

// "track 3 (/music/a.mp3) is damaged: CHECKSUMS holds ...; ..."
std::string damage_line(int record, const std::string& file, const std::vector<BadCell>& cells) {
  std::string line =
      "track " + std::to_string(record) + (file.empty() ? "" : " (" + file + ")") + " is damaged: ";
  for (size_t i = 0; i < cells.size(); ++i) line += (i ? "; " : "") + describe(cells[i]);
  return line;
}

nlohmann::ordered_json track_object(Table& tracks, Listing& listing) {
  nlohmann::ordered_json track;
  track["RECORD"] = tracks.record_number();
  std::vector<int> categories;
  std::vector<BadCell> bad;
  for (const ColumnDef& column : tracks.columns()) {
    const Field field = tracks.field_by_name(column.name);
    const int category = column.type == ColumnType::Boolean ? TrackTable::category_of(column.name) : 0;
    if (category > 0) {
      if (get_or_note(tracks, FlagColumn{column.name}, bad)) categories.push_back(category);
      continue;
    }
    switch (column.type) {
      case ColumnType::Blob:
        break;  // DATA: only whether it holds audio
      case ColumnType::Boolean:
        track[column.name] = get_or_note(tracks, FlagColumn{column.name}, bad);
        break;
      case ColumnType::SmallInt:
      case ColumnType::Integer:
        track[column.name] = get_or_note(tracks, NumberColumn{column.name}, bad);
        break;
      case ColumnType::String:
      case ColumnType::Memo:
        track[column.name] = field.as_text();
        break;
    }
  }
  track["STORED"] = !is_empty(tracks, TrackTable::data);
  track["CATEGORIES"] = categories;
  if (!bad.empty()) {
    std::vector<std::string> columns;
    for (const BadCell& cell : bad) columns.push_back(cell.column);
    track["DAMAGED"] = columns;
    listing.damaged.push_back(damage_line(tracks.record_number(), get(tracks, TrackTable::pad), bad));
  }
  return track;
}

}  // namespace

Listing tracks_json(Table& tracks) {
  Listing listing;
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (tracks.first(); !tracks.at_end(); tracks.next()) list.push_back(track_object(tracks, listing));
  listing.text = list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  return listing;
}

Listing tracks_text(Table& tracks) {
  Listing listing;
  for (tracks.first(); !tracks.at_end(); tracks.next()) {
    const TrackInfo info = track_info(tracks);
    listing.text += std::to_string(tracks.record_number()) + '\t' + time_text(info.tracktotal / 1000) + '\t' +
                    info.title + '\t' + info.artist + '\t' + info.album + '\t' +
                    (info.stored ? "stored" : "on disk") + '\n';
    if (!info.damaged.empty())
      listing.damaged.push_back(damage_line(tracks.record_number(), info.pad, info.damaged));
  }
  return listing;
}

Listing track_info_text(Table& tracks) {
  const TrackInfo info = track_info(tracks);
  Listing listing;
  if (!info.damaged.empty())
    listing.damaged.push_back(damage_line(tracks.record_number(), info.pad, info.damaged));
  std::string& text = listing.text;
  const auto line = [&](const char* caption, const std::string& value) {
    std::string padded(caption);
    padded.resize(std::max<size_t>(padded.size() + 1, 15), ' ');
    text += padded + value + '\n';
  };
  line("Title:", info.title);
  line("Artist:", info.artist);
  line("Album:", info.album);
  line("Code Version:", info.version);
  line("Layer:", info.layer);
  line("Bitrate:", info.bitrate);
  line("Samplerate:", info.samplerate);
  line("Mode:", info.mode);
  line("Checksums:", std::to_string(info.checksums));
  line("FrameTotal:", std::to_string(info.frametotal));
  line("TrackLength:", time_text(info.tracktotal / 1000));
  line("Copyright:", yes_no(info.copyright));
  line("Original:", yes_no(info.original));
  line("Stored:", yes_no(info.stored));
  line("Original file and path:", info.pad);
  return listing;
}

}  // namespace vemla
