#include "track_listing.h"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "rows.h"
#include "table.h"
#include "track_facts.h"
#include "track_gains.h"
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

nlohmann::ordered_json optional_number(const std::optional<double>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

// The ReplayGain values under their tag names, the measured loudness and where they came from; null where
// unknown.
void add_gains(nlohmann::ordered_json& track, const std::optional<TrackGains>& gains) {
  const ReplayGain none;
  const ReplayGain& gain = gains ? gains->gain : none;
  track["REPLAYGAIN_TRACK_GAIN"] = optional_number(gain.track_gain);
  track["REPLAYGAIN_TRACK_PEAK"] = optional_number(gain.track_peak);
  track["REPLAYGAIN_ALBUM_GAIN"] = optional_number(gain.album_gain);
  track["REPLAYGAIN_ALBUM_PEAK"] = optional_number(gain.album_peak);
  track["LOUDNESS"] = optional_number(gains ? gains->loudness : std::nullopt);
  track["GAIN_SOURCE"] = gains ? nlohmann::ordered_json(gain_source_text(gains->source)) : nullptr;
}

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string decibels(const std::optional<double>& value) {
  return value ? formatted("%+.2f dB", *value) : "unknown";
}

std::string amplitude(const std::optional<double>& value) {
  return value ? formatted("%.6f", *value) : "unknown";
}

nlohmann::ordered_json track_object(Table& tracks, Listing& listing,
                                    const std::unordered_map<int64_t, TrackGains>& all_gains) {
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
  const auto gains = all_gains.find(tracks.row_id());
  add_gains(track, gains == all_gains.end() ? std::nullopt : std::optional<TrackGains>(gains->second));
  return track;
}

}  // namespace

Listing tracks_json(Table& tracks) {
  Listing listing;
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  const std::unordered_map<int64_t, TrackGains> gains = read_all_gains(tracks);
  for (tracks.first(); !tracks.at_end(); tracks.next()) list.push_back(track_object(tracks, listing, gains));
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
  const std::optional<TrackGains> gains = read_gains(tracks);
  const ReplayGain gain = gains ? gains->gain : ReplayGain{};
  line("Track gain:", decibels(gain.track_gain));
  line("Track peak:", amplitude(gain.track_peak));
  line("Album gain:", decibels(gain.album_gain));
  line("Album peak:", amplitude(gain.album_peak));
  line("Loudness:", gains && gains->loudness ? formatted("%.2f LUFS", *gains->loudness) : "unknown");
  line("Gains from:", gains ? gain_source_text(gains->source) : "none");
  return listing;
}

}  // namespace vemla
