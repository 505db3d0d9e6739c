#include "track_source.h"

#include <strings.h>

#include <vector>

#include "schema.h"
#include "store.h"
#include "table.h"

namespace vemla {

namespace {

// The track table's store and the column named `name`; errors when the table is closed or lacks it.
template <typename Kind>
int column_of(Store& store, Column<Kind> column) {
  const std::vector<ColumnDef>& columns = store.columns();
  const std::string name(column.name);
  for (size_t c = 0; c < columns.size(); ++c) {
    if (strcasecmp(columns[c].name.c_str(), name.c_str()) == 0) return static_cast<int>(c);
  }
  throw TableError("Field " + name + " not found in table " + store.paths().table.string());
}

Store& store_of(Table& tracks) {
  Store* store = tracks.is_open() ? tracks.store() : nullptr;
  if (!store) throw TableError("The track table is not open");
  return *store;
}

// The row's id: record numbers count the rows in the order of their ids.
int64_t id_of(Table& tracks, Store& store, int record) {
  if (record < 1 || record > tracks.record_count())
    throw TableError("There is no track " + std::to_string(record) + " in " + store.paths().table.string());
  try {
    SQLite::Statement select(store.sql(), "SELECT id FROM rows ORDER BY id LIMIT 1 OFFSET ?");
    select.bind(1, record - 1);
    if (!select.executeStep()) throw TableError("A row of " + store.paths().table.string() + " has gone");
    return select.getColumn(0).getInt64();
  } catch (const TableError&) {
    throw;
  } catch (const std::exception& error) {
    throw_store_error(error, store.paths().table);
  }
}

}  // namespace

TrackSource track_source(Table& tracks, int record) {
  Store& store = store_of(tracks);
  const int data = column_of(store, TrackTable::data);
  const int pad = column_of(store, TrackTable::pad);
  const int64_t id = id_of(tracks, store, record);
  TrackSource source;
  source.id = id;
  source.stored = store.columns()[data].type == ColumnType::Blob && store.blob_size(id, data) > 0;
  std::vector<Value> values(store.columns().size());
  try {
    store.read_row(id, values);
  } catch (const TableError&) {
    throw;
  } catch (const std::exception& error) {
    throw_store_error(error, store.paths().table);
  }
  if (const auto* text = std::get_if<std::string>(&values[pad])) source.path = *text;
  return source;
}

void save_stored_audio(Table& tracks, int record, const std::filesystem::path& file) {
  Store& store = store_of(tracks);
  const int data = column_of(store, TrackTable::data);
  store.save_blob(id_of(tracks, store, record), data, file);
}

}  // namespace vemla
