// The table files on SQLite: a table N.db holds its column list and the rows of every column that is not a
// memo or blob; the companion N.mb holds the memo and blob values, one small table per such column, keyed by
// the row's id. One connection reaches both files (the companion attached), so that one transaction covers a
// row and its memo and blob values; a rollback journal makes that commit atomic across the two files.
// This unit opens a table and reads and writes its rows; store_files.h makes and removes the files,
// store_copy.h copies them.
#pragma once

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "schema.h"
#include "store_error.h"
#include "store_files.h"

namespace vemla {

class PendingBlob;

// One open table: a connection holding the table file (exclusively when writable, so that a second program
// waits briefly and then gets an error) with its companion attached.
class Store {
 public:
  enum class Access { Write, Read };
  Store(const TablePaths& paths, Access access);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const TablePaths& paths() const { return paths_; }
  const std::vector<ColumnDef>& columns() const { return columns_; }
  // The position of the column of that name (in any letter case), or -1.
  int position_of(std::string_view name) const;
  bool has_companion() const { return has_companion_; }
  // False when opened for reading, or when the files or their folder (where the journals go) cannot be
  // written: a read-only disk, share or copy.
  bool writable() const { return writable_; }
  SQLite::Database& sql() { return *db_; }
  // Whether a transaction is open on the connection (the engine ends one by itself after some errors).
  bool in_transaction() const;

  // The ids of all rows in the order they were added.
  std::vector<int64_t> row_ids();
  // True when another connection changed the files since the last call.
  bool changed_elsewhere();

  // Fills values[c] for every column c kept in the table file.
  void read_row(int64_t id, std::vector<Value>& values);
  // One word per row, in id order: bit i set when columns[i] (at most 64, kept in the table file) holds a
  // number other than 0. One statement over the whole table, for reading a few flags of every row at once.
  std::vector<std::pair<int64_t, uint64_t>> read_flags(const std::vector<int>& columns);
  Value read_memo(int64_t id, int column);
  int64_t blob_size(int64_t id, int column);
  void save_blob(int64_t id, int column, const std::filesystem::path& target);

  // Writes inside the caller's transaction (StoreTransaction). values holds every column; apart columns are
  // ignored.
  int64_t insert_row(const std::vector<Value>& values);
  void update_row(int64_t id, const std::vector<int>& columns, const std::vector<Value>& values);
  void write_memo(int64_t id, int column, const std::string& text);
  void write_blob(int64_t id, int column, const PendingBlob* value);
  void delete_row(int64_t id);

  // Rethrows an error of a write, which reaches both files, as a TableError. A damaged file could be either,
  // so both are named: told only of the table file, a user could put an old copy in place of the whole one.
  [[noreturn]] void throw_write_error(const std::exception& error) const;

 private:
  friend class StoreTransaction;
  static SQLite::Statement& rewound(SQLite::Statement& statement);

  TablePaths paths_;
  std::unique_ptr<SQLite::Database> db_;
  std::vector<ColumnDef> columns_;
  bool has_companion_ = false;
  bool writable_ = false;
  int64_t data_version_ = -1;
  int transaction_depth_ = 0;
  std::unique_ptr<SQLite::Statement> select_ids_, select_row_, insert_row_;
  std::vector<std::unique_ptr<SQLite::Statement>> select_apart_;
};

// The writes made through a store's connection while this lives are one unit: commit() keeps them, and they
// are taken back when it goes without. Made while another is open, it is a savepoint within that one, so that
// a row that fails is taken back and the rows written before it stay for the outer one to keep. Errors are
// SQLite's; the caller names the files.
class StoreTransaction {
 public:
  explicit StoreTransaction(Store& store);
  ~StoreTransaction() { rollback(); }
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

  // Keeps the writes (into the enclosing transaction, for a savepoint). When it fails the writes are still
  // pending, and taken back when this goes.
  void commit();
  // Takes the writes back now; nothing once committed or taken back, or when the engine has ended the whole
  // transaction by itself after an error (the writes are gone then already).
  void rollback() noexcept;

 private:
  std::string savepoint() const;

  Store& store_;
  int level_;  // 0: the transaction itself, else a savepoint
  bool open_ = true;
};

}  // namespace vemla
