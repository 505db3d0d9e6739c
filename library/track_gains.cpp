#include "track_gains.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "store.h"
#include "table.h"

namespace vemla {

namespace {

// The table and its columns, named here only. The trigger takes a track's gains away with its row, so that
// a row id used again never finds gains of another track.
constexpr const char* kCreate =
    "CREATE TABLE IF NOT EXISTS gains(id INTEGER PRIMARY KEY, track_gain REAL, track_peak REAL, "
    "album_gain REAL, album_peak REAL, loudness REAL, source TEXT NOT NULL);"
    "CREATE TRIGGER IF NOT EXISTS gains_go_with_rows AFTER DELETE ON rows "
    "BEGIN DELETE FROM gains WHERE id = old.id; END";
constexpr const char* kColumns = "id, track_gain, track_peak, album_gain, album_peak, loudness, source";
constexpr const char* kInsert = "INSERT OR REPLACE INTO gains VALUES(?, ?, ?, ?, ?, ?, ?)";

Store& open_store(Table& tracks) {
  Store* store = tracks.store();
  if (!store) throw TableError("The table " + tracks.table_name() + " is not open");
  return *store;
}

bool has_gains_table(SQLite::Database& sql) {
  return sql.execAndGet("SELECT count(*) FROM main.sqlite_master WHERE type='table' AND name='gains'").getInt() > 0;
}

std::optional<double> number(SQLite::Statement& query, int column) {
  if (query.isColumnNull(column)) return std::nullopt;
  return query.getColumn(column).getDouble();
}

TrackGains gains_of(SQLite::Statement& query) {
  TrackGains gains;
  gains.gain.track_gain = number(query, 1);
  gains.gain.track_peak = number(query, 2);
  gains.gain.album_gain = number(query, 3);
  gains.gain.album_peak = number(query, 4);
  gains.loudness = number(query, 5);
  gains.source = query.getColumn(6).getString() == gain_source_text(GainSource::Scan) ? GainSource::Scan
                                                                                      : GainSource::Tag;
  return gains;
}

void bind(SQLite::Statement& statement, int index, const std::optional<double>& value) {
  if (value) {
    statement.bind(index, *value);
  } else {
    statement.bind(index);
  }
}

}  // namespace

const char* gain_source_text(GainSource source) {
  return source == GainSource::Scan ? "scan" : "tag";
}

std::optional<TrackGains> read_gains(Table& tracks) {
  return read_gains(tracks, tracks.row_id());
}

std::optional<TrackGains> read_gains(Table& tracks, int64_t id) {
  if (id == 0) return std::nullopt;
  Store& store = open_store(tracks);
  try {
    if (!has_gains_table(store.sql())) return std::nullopt;
    SQLite::Statement query(store.sql(), std::string("SELECT ") + kColumns + " FROM gains WHERE id=?");
    query.bind(1, id);
    if (!query.executeStep()) return std::nullopt;
    return gains_of(query);
  } catch (const std::exception& error) {
    throw_store_error(error, store.paths().table);
  }
}

std::unordered_map<int64_t, TrackGains> read_all_gains(Table& tracks) {
  Store& store = open_store(tracks);
  std::unordered_map<int64_t, TrackGains> all;
  try {
    if (!has_gains_table(store.sql())) return all;
    SQLite::Statement query(store.sql(), std::string("SELECT ") + kColumns + " FROM gains");
    while (query.executeStep()) all.emplace(query.getColumn(0).getInt64(), gains_of(query));
  } catch (const std::exception& error) {
    throw_store_error(error, store.paths().table);
  }
  return all;
}

void write_gains(Table& tracks, int64_t row_id, const TrackGains& gains) {
  SQLite::Database& sql = open_store(tracks).sql();
  tracks.write_beside([&] {
    sql.exec(kCreate);
    SQLite::Statement insert(sql, kInsert);
    insert.bind(1, row_id);
    bind(insert, 2, gains.gain.track_gain);
    bind(insert, 3, gains.gain.track_peak);
    bind(insert, 4, gains.gain.album_gain);
    bind(insert, 5, gains.gain.album_peak);
    bind(insert, 6, gains.loudness);
    insert.bind(7, gain_source_text(gains.source));
    insert.exec();
  });
}

void write_gains(Table& tracks, const TrackGains& gains) {
  const int64_t id = tracks.row_id();
  if (id == 0) throw TableError("There is no track to keep the gains of");
  write_gains(tracks, id, gains);
}

}  // namespace vemla
