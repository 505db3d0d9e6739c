#include "table.h"

#include <algorithm>
#include <cctype>

#include "blob_stream.h"
#include "store.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

std::string upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

}  // namespace

Table::Table(std::string table_name) : name_(std::move(table_name)) {}

Table::~Table() {
  try {
    close();
  } catch (...) {
    // Nothing can be reported from here; the pending change is dropped with the connection.
  }
}

void Table::check_closed(const char* what) const {
  if (is_open()) throw TableError(std::string("Cannot change the ") + what + " of the open table " + name_);
}

void Table::set_location(const fs::path& folder) {
  check_closed("location");
  location_ = folder;
}

void Table::set_table_name(const std::string& name) {
  check_closed("name");
  name_ = name;
}

void Table::set_table_type(TableType type) {
  check_closed("type");
  type_ = type;
}

void Table::set_read_only(bool read_only) {
  check_closed("read-only state");
  read_only_ = read_only;
}

void Table::set_field_order(std::vector<std::string> names) {
  check_closed("field list");
  field_order_ = std::move(names);
}

void Table::set_create_when_missing(std::function<void(const fs::path&)> create) {
  create_when_missing_ = std::move(create);
}

fs::path Table::file_path() const {
  if (name_.empty()) throw TableError("No table name given");
  fs::path file(name_);
  if (type_ == TableType::Paradox && !file.has_extension()) file += ".db";
  if (upper(file.extension().string()) != ".DB") throw TableError("Unknown table type: " + name_);
  return location_.empty() ? file : location_ / file;
}

TablePaths Table::paths() const {
  const fs::path file = file_path();
  return {file, companion_of(file)};
}

void Table::check_open() const {
  if (!is_open()) throw TableError("The table " + name_ + " is not open");
}

bool Table::files_read_only() const {
  return store_ && !read_only_ && !store_->writable();
}

void Table::check_writable() const {
  check_open();
  if (read_only_) throw TableError("The table " + name_ + " is read-only");
  if (files_read_only())
    throw TableError("The table " + store_->paths().table.string() +
                     " cannot be changed: its files or their folder are read-only");
}

void Table::notify(void (TableListener::*event)(Table&)) {
  const std::vector<TableListener*> listeners = listeners_;
  for (TableListener* listener : listeners) (listener->*event)(*this);
}

void Table::add_listener(TableListener& listener) {
  listeners_.push_back(&listener);
}

void Table::remove_listener(TableListener& listener) {
  std::erase(listeners_, &listener);
}

void Table::open() {
  if (is_open()) return;
  const TablePaths files = paths();
  if (create_when_missing_ && !file_exists(files.table)) create_when_missing_(files.table);
  auto store = std::make_unique<Store>(files, read_only_ ? Store::Access::Read : Store::Access::Write);
  const std::vector<ColumnDef>& columns = store->columns();
  by_name_.clear();
  for (size_t c = 0; c < columns.size(); ++c) by_name_.emplace(upper(columns[c].name), static_cast<int>(c));
  order_.clear();
  if (field_order_.empty()) {
    for (size_t c = 0; c < columns.size(); ++c) order_.push_back(static_cast<int>(c));
  } else {
    for (const std::string& name : field_order_) {
      const int column = column_named(name);
      if (column < 0) throw TableError("The table " + files.table.string() + " has no field " + name);
      order_.push_back(column);
    }
  }
  try {
    ids_ = store->row_ids();
  } catch (const std::exception& error) {
    throw_store_error(error, files.table);
  }
  rows_renewed_ += ids_.size() + 1;
  store_ = std::move(store);
  cached_.assign(columns.size(), Value{});
  apart_cached_.assign(columns.size(), 0);
  cached_id_ = -1;
  pending_.assign(columns.size(), Value{});
  changed_.assign(columns.size(), 0);
  pending_blobs_.clear();
  pending_blobs_.resize(columns.size());
  modified_ = false;
  position_ = 0;
  bof_ = true;
  eof_ = ids_.empty();
  ++generation_;
  state_ = TableState::Browse;
  notify(&TableListener::table_state_changed);
  notify(&TableListener::table_row_changed);
}

void Table::close() {
  if (!is_open()) return;
  if (batch_) {
    cancel();
    end_batch(false);
  }
  check_browse_mode();
  store_.reset();
  ids_.clear();
  ++generation_;
  state_ = TableState::Inactive;
  notify(&TableListener::table_state_changed);
}

const std::vector<ColumnDef>& Table::columns() const {
  check_open();
  return store_->columns();
}

int Table::record_count() const {
  check_open();
  return static_cast<int>(ids_.size());
}

bool Table::at_beginning() const {
  check_open();
  return bof_;
}

bool Table::at_end() const {
  check_open();
  return eof_;
}

int Table::record_number() const {
  check_open();
  if (state_ == TableState::Insert) return static_cast<int>(ids_.size()) + 1;
  return ids_.empty() ? 0 : static_cast<int>(position_) + 1;
}

void Table::check_browse_mode() {
  if (!editing()) return;
  if (!modified_) {
    cancel();
    return;
  }
  try {
    post();
  } catch (const TableError& error) {
    // Kept pending, a change that cannot be written would fail every later move, refresh and close as well.
    cancel();
    throw TableError(std::string(error.what()) + ". The change was not saved.");
  }
}

void Table::first() {
  check_open();
  check_browse_mode();
  position_ = 0;
  bof_ = true;
  eof_ = ids_.empty();
  notify(&TableListener::table_row_changed);
}

void Table::next() {
  check_open();
  check_browse_mode();
  move_by(1);
}

int Table::move_by(int distance) {
  check_open();
  check_browse_mode();
  if (ids_.empty()) {
    bof_ = eof_ = true;
    return 0;
  }
  // Like a cursor over the rows: a move that would pass the last (first) row stops on it and raises the end
  // (beginning) flag; a move further in that direction does nothing.
  const int64_t here = static_cast<int64_t>(position_);
  const int64_t last = static_cast<int64_t>(ids_.size()) - 1;
  int64_t moved = 0;
  if (distance > 0 && !eof_) {
    moved = std::min<int64_t>(distance, last - here);
    bof_ = false;
    eof_ = moved < distance;
  } else if (distance < 0 && !bof_) {
    moved = -std::min<int64_t>(-static_cast<int64_t>(distance), here);
    eof_ = false;
    bof_ = moved > distance;
  } else {
    return 0;
  }
  position_ = static_cast<size_t>(here + moved);
  notify(&TableListener::table_row_changed);
  return static_cast<int>(moved);
}

void Table::begin_insert() {
  state_ = TableState::Insert;
  std::fill(pending_.begin(), pending_.end(), Value{});
  std::fill(changed_.begin(), changed_.end(), 0);
  modified_ = false;
  notify(&TableListener::table_state_changed);
  notify(&TableListener::table_row_changed);
}

void Table::append() {
  check_writable();
  check_browse_mode();
  begin_insert();
}

void Table::edit() {
  check_writable();
  if (editing()) return;
  if (ids_.empty()) {
    begin_insert();
    return;
  }
  state_ = TableState::Edit;
  std::fill(changed_.begin(), changed_.end(), 0);
  modified_ = false;
  notify(&TableListener::table_state_changed);
}

void Table::end_edit() {
  state_ = TableState::Browse;
  std::fill(pending_.begin(), pending_.end(), Value{});
  std::fill(changed_.begin(), changed_.end(), 0);
  for (auto& blob : pending_blobs_) blob.reset();
  modified_ = false;
}

void Table::cancel() {
  if (!editing()) return;
  const bool inserting = state_ == TableState::Insert;
  end_edit();
  notify(&TableListener::table_state_changed);
  if (inserting) notify(&TableListener::table_row_changed);
}

void Table::post() {
  check_open();
  if (!editing()) return;
  if (state_ == TableState::Edit && !modified_) {
    end_edit();
    notify(&TableListener::table_state_changed);
    return;
  }
  const std::vector<ColumnDef>& columns = store_->columns();
  const bool inserting = state_ == TableState::Insert;
  int64_t id = inserting ? 0 : ids_[position_];
  try {
    write_atomically([&] {
      std::vector<int> written;
      if (inserting) {
        id = store_->insert_row(pending_);
      } else {
        for (size_t c = 0; c < columns.size(); ++c) {
          if (changed_[c]) written.push_back(static_cast<int>(c));
        }
        store_->update_row(id, written, pending_);
      }
      for (size_t c = 0; c < columns.size(); ++c) {
        if (!changed_[c]) continue;
        if (columns[c].type == ColumnType::Memo) {
          const auto* text = std::get_if<std::string>(&pending_[c]);
          store_->write_memo(id, static_cast<int>(c), text ? *text : std::string());
        } else if (columns[c].type == ColumnType::Blob) {
          store_->write_blob(id, static_cast<int>(c), pending_blobs_[c].get());
        }
      }
    });
  } catch (const std::exception& error) {
    store_->throw_write_error(error);
  }
  if (inserting) {
    ids_.push_back(id);
    ++rows_renewed_;
    position_ = ids_.size() - 1;
    bof_ = eof_ = false;
  }
  cached_id_ = -1;
  end_edit();
  notify(&TableListener::table_state_changed);
  notify(&TableListener::table_row_changed);
}

void Table::reload_ids() {
  const int64_t current = ids_.empty() ? -1 : ids_[position_];
  ids_ = store_->row_ids();
  rows_renewed_ += ids_.size() + 1;
  const auto found = std::lower_bound(ids_.begin(), ids_.end(), current);
  position_ = std::min<size_t>(static_cast<size_t>(found - ids_.begin()), ids_.empty() ? 0 : ids_.size() - 1);
}

void Table::write_atomically(const std::function<void()>& write) {
  StoreTransaction transaction(*store_);  // inside a batch, a savepoint within it
  try {
    write();
  } catch (...) {
    transaction.rollback();
    // After some errors (a full disk, an I/O error) SQLite ends the whole transaction by itself; the rows of
    // the batch are gone, and later writes must not run outside a transaction.
    if (batch_ && !store_->in_transaction()) {
      batch_.reset();
      batch_lost_ = true;
      reread_rows();
    }
    throw;
  }
  transaction.commit();
}

void Table::end_batch(bool commit) {
  if (!batch_) {
    const bool lost = batch_lost_;
    batch_lost_ = false;
    if (commit && lost) throw TableError("The changes to " + name_ + " were rolled back after an error");
    return;
  }
  const std::unique_ptr<StoreTransaction> batch = std::move(batch_);
  if (commit) {
    try {
      batch->commit();
      return;
    } catch (const std::exception& error) {
      batch->rollback();
      reread_rows();
      store_->throw_write_error(error);
    }
  }
  batch->rollback();
  reread_rows();
}

void Table::reread_rows() {
  reload_ids();
  if (ids_.empty()) bof_ = eof_ = true;
  cached_id_ = -1;
  notify(&TableListener::table_row_changed);
}

TableBatch::TableBatch(Table& table) : table_(table) {
  table.check_writable();
  if (table.batch_) throw TableError("The table " + table.name_ + " has a batch already");
  table.check_browse_mode();
  try {
    table.batch_ = std::make_unique<StoreTransaction>(*table.store_);
  } catch (const std::exception& error) {
    throw_store_error(error, table.store_->paths().table);
  }
  table.batch_lost_ = false;
}

TableBatch::~TableBatch() {
  try {
    if (table_.is_open() && (table_.batch_ || table_.batch_lost_)) {
      table_.cancel();
      table_.end_batch(false);
    }
  } catch (...) {
    // Rolled back all the same: the transaction ends with the connection at the latest.
  }
}

void TableBatch::commit() {
  table_.check_open();
  table_.check_browse_mode();
  table_.end_batch(true);
}

void Table::refresh() {
  check_open();
  check_browse_mode();
  try {
    if (store_->changed_elsewhere()) reload_ids();
  } catch (const std::exception& error) {
    throw_store_error(error, store_->paths().table);
  }
  if (ids_.empty()) {
    bof_ = eof_ = true;
  } else if (bof_ && eof_) {
    bof_ = eof_ = false;
  }
  cached_id_ = -1;
  notify(&TableListener::table_row_changed);
}

void Table::delete_record() {
  check_writable();
  if (state_ == TableState::Insert) {
    cancel();
    return;
  }
  if (ids_.empty()) throw TableError("The table " + name_ + " is empty");
  const bool was_editing = editing();
  try {
    write_atomically([&] { store_->delete_row(ids_[position_]); });
  } catch (const std::exception& error) {
    store_->throw_write_error(error);
  }
  end_edit();
  ids_.erase(ids_.begin() + static_cast<std::ptrdiff_t>(position_));
  if (position_ >= ids_.size() && position_ > 0) --position_;
  bof_ = eof_ = ids_.empty();
  cached_id_ = -1;
  if (was_editing) notify(&TableListener::table_state_changed);
  notify(&TableListener::table_row_changed);
}

int64_t Table::row_id() const {
  check_open();
  if (state_ == TableState::Insert || ids_.empty()) return 0;
  return ids_[position_];
}

int64_t Table::id_of(int record) const {
  check_open();
  if (record < 1 || static_cast<size_t>(record) > ids_.size()) return 0;
  return ids_[static_cast<size_t>(record) - 1];
}

void Table::write_beside(const std::function<void()>& write) {
  check_writable();
  try {
    write_atomically(write);
  } catch (const std::exception& error) {
    store_->throw_write_error(error);
  }
}

int Table::column_named(std::string_view name) const {
  const auto found = by_name_.find(upper(name));
  return found == by_name_.end() ? -1 : found->second;
}

void Table::create_table(const std::vector<ColumnDef>& columns) {
  check_closed("files");
  create_table_files(paths(), columns);
}

void Table::delete_table() {
  check_closed("files");
  delete_table_files(paths());
}

}  // namespace vemla
