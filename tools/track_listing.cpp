#include "rows.h"
#include "track_listing.h"

#include <nlohmann/json.hpp>

#include "table.h"
#include "track_facts.h"
#include "track_ops.h"

namespace vemla {

namespace {

nlohmann::ordered_json track_object(Table& tracks) {
  nlohmann::ordered_json track;
  track["RECORD"] = tracks.record_number();
  std::vector<int> categories;
  for (const ColumnDef& column : tracks.columns()) {
    const Field field = tracks.field_by_name(column.name);
    const int category = column.type == ColumnType::Boolean ? TrackTable::category_of(column.name) : 0;
    if (category > 0) {
      if (field.as_boolean()) categories.push_back(category);
      continue;
    }
    switch (column.type) {
      case ColumnType::Blob:
        break;  // DATA: only whether it holds audio
      case ColumnType::Boolean:
        track[column.name] = field.as_boolean();
        break;
      case ColumnType::SmallInt:
      case ColumnType::Integer:
        track[column.name] = field.as_integer();
        break;
      case ColumnType::String:
      case ColumnType::Memo:
        track[column.name] = field.as_text();
        break;
    }
  }
  track["STORED"] = !is_empty(tracks, TrackTable::data);
  track["CATEGORIES"] = categories;
  return track;
}

}  // namespace

std::string tracks_json(Table& tracks) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (tracks.first(); !tracks.at_end(); tracks.next()) list.push_back(track_object(tracks));
  return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string tracks_text(Table& tracks) {
  std::string text;
  for (tracks.first(); !tracks.at_end(); tracks.next()) {
    const TrackInfo info = track_info(tracks);
    text += std::to_string(tracks.record_number()) + '\t' + time_text(info.tracktotal / 1000) + '\t' +
            info.title + '\t' + info.artist + '\t' + info.album + '\t' + (info.stored ? "stored" : "on disk") +
            '\n';
  }
  return text;
}

std::string track_info_text(Table& tracks) {
  const TrackInfo info = track_info(tracks);
  std::string text;
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
  return text;
}

}  // namespace vemla
