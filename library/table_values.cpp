// A table's values: its fields by name and position, the current row's values as read and written (a row is
// read once and kept until the cursor moves), blobs, and flags of every row read in one query.
#include <algorithm>

#include "blob_stream.h"
#include "store.h"
#include "table.h"

namespace vemla {

namespace fs = std::filesystem;

std::vector<uint64_t> Table::read_flags(const std::vector<Field>& fields) {
  check_open();
  std::vector<int> columns;
  for (const Field& field : fields) {
    check_field(field);
    const ColumnType type = store_->columns()[field.column_].type;
    if (type != ColumnType::Boolean && type != ColumnType::SmallInt && type != ColumnType::Integer)
      throw TableError("Field " + field.name() + " cannot be read as a flag");
    columns.push_back(field.column_);
  }
  check_browse_mode();
  std::vector<std::pair<int64_t, uint64_t>> rows;
  try {
    rows = store_->read_flags(columns);
  } catch (const std::exception& error) {
    throw_store_error(error, store_->paths().table);
  }
  // Both lists are in id order; a row another program added or removed since the last refresh is skipped or
  // reads as all false.
  std::vector<uint64_t> words(ids_.size(), 0);
  size_t r = 0;
  for (size_t i = 0; i < ids_.size(); ++i) {
    while (r < rows.size() && rows[r].first < ids_[i]) ++r;
    if (r < rows.size() && rows[r].first == ids_[i]) words[i] = rows[r].second;
  }
  return words;
}

Field Table::field_by_name(std::string_view name) {
  check_open();
  const int column = column_named(name);
  if (column < 0) throw TableError("Field " + std::string(name) + " not found in table " + name_);
  return Field(*this, column, generation_);
}

Field Table::field_by_position(int position) {
  check_open();
  if (position < 0 || position >= static_cast<int>(order_.size())) {
    throw TableError("No field at position " + std::to_string(position) + " in table " + name_);
  }
  return Field(*this, order_[position], generation_);
}

void Table::check_field(const Field& field) const {
  if (field.table_ != this || field.generation_ != generation_ || !is_open()) {
    throw TableError("The field belongs to a table that has been closed");
  }
}

const Value& Table::value_of(int column) {
  static const Value kNull;
  if (editing() && changed_[column]) return pending_[column];
  if (state_ == TableState::Insert || ids_.empty()) return kNull;
  const int64_t id = ids_[position_];
  if (cached_id_ != id) {
    cached_id_ = id;
    main_cached_ = false;
    std::fill(apart_cached_.begin(), apart_cached_.end(), 0);
  }
  const ColumnType type = store_->columns()[column].type;
  try {
    if (type == ColumnType::Blob) {
      if (!apart_cached_[column]) cached_[column] = store_->blob_size(id, column);
      apart_cached_[column] = 1;
    } else if (type == ColumnType::Memo) {
      if (!apart_cached_[column]) cached_[column] = store_->read_memo(id, column);
      apart_cached_[column] = 1;
    } else if (!main_cached_) {
      store_->read_row(id, cached_);
      main_cached_ = true;
    }
  } catch (const std::exception& error) {
    cached_id_ = -1;
    throw_store_error(error, store_->paths().table);
  }
  return cached_[column];
}

void Table::write_value(const Field& field, Value value, std::unique_ptr<PendingBlob> blob) {
  check_writable();
  if (!editing()) throw TableError("The table " + name_ + " is not in edit mode");
  pending_[field.column_] = std::move(value);
  changed_[field.column_] = 1;
  pending_blobs_[field.column_] = std::move(blob);
  modified_ = true;
  const std::vector<TableListener*> listeners = listeners_;
  for (TableListener* listener : listeners) listener->table_field_changed(*this, field);
}

void Table::load_blob(const Field& field, const fs::path& file) {
  check_writable();
  if (!editing()) throw TableError("The table " + name_ + " is not in edit mode");
  const fs::path folder = store_->paths().table.parent_path();
  auto blob = std::make_unique<PendingBlob>(file, folder.empty() ? fs::path(".") : folder);
  const int64_t size = blob->size();
  write_value(field, size, std::move(blob));
}

void Table::save_blob(int column, const fs::path& file) {
  if ((editing() && changed_[column]) || state_ == TableState::Insert || ids_.empty()) {
    if (pending_blobs_[column]) {
      pending_blobs_[column]->save_to(file);
    } else {
      vemla::save_blob(nullptr, file);
    }
    return;
  }
  try {
    store_->save_blob(ids_[position_], column, file);
  } catch (const std::exception& error) {
    throw_store_error(error, store_->paths().table);
  }
}

}  // namespace vemla
