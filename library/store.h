// The table files on SQLite: a table N.db holds its column list and the rows of every column that is not a
// memo or blob; the companion N.mb holds the memo and blob values, one small table per such column, keyed by
// the row's id. One connection reaches both files (the companion attached), so that one transaction covers a
// row and its memo and blob values; a rollback journal makes that commit atomic across the two files.
#pragma once

#include <SQLiteCpp/Backup.h>
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "schema.h"

namespace vemla {

class PendingBlob;

struct TablePaths {
  std::filesystem::path table;      // N.db
  std::filesystem::path companion;  // N.mb
};
// The companion of a table file: the same name with the extension ".mb" (".MB" beside ".DB").
std::filesystem::path companion_of(const std::filesystem::path& table_file);

// The name of the column at position in the table file's SQL table "rows" (memo and blob columns excepted).
std::string row_column(int position);

// How long an open waits for another program that has the table before it reports the table in use.
std::chrono::milliseconds lock_wait();
void set_lock_wait(std::chrono::milliseconds wait);

// Creates the files of a new, empty table (built under temporary names, then renamed into place); an error
// when the table file exists already.
void create_table_files(const TablePaths& paths, const std::vector<ColumnDef>& columns);
// Removes a table file, its companion and their journals; an error when the table does not exist or another
// connection has it open.
void delete_table_files(const TablePaths& paths);

// Whether the file exists; false also when that cannot be told (the open that follows reports why).
bool file_exists(const std::filesystem::path& file);

// Renames a file unless the target exists; false when it does.
bool rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to);

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
  bool has_companion() const { return has_companion_; }
  // False when opened for reading, or when the files or their folder (where the journals go) cannot be
  // written: a read-only disk, share or copy.
  bool writable() const { return writable_; }
  SQLite::Database& sql() { return *db_; }

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

  // Writes inside the caller's transaction. values holds every column; apart columns are ignored.
  int64_t insert_row(const std::vector<Value>& values);
  void update_row(int64_t id, const std::vector<int>& columns, const std::vector<Value>& values);
  void write_memo(int64_t id, int column, const std::string& text);
  void write_blob(int64_t id, int column, const PendingBlob* value);
  void delete_row(int64_t id);

  // Rethrows an error of a write, which reaches both files, as a TableError. A damaged file could be either,
  // so both are named: told only of the table file, a user could put an old copy in place of the whole one.
  [[noreturn]] void throw_write_error(const std::exception& error) const;

  // Copies both files into a new table's files (replacing them), with the rows as last committed.
  void copy_to(const TablePaths& target);

 private:
  friend class StoreCopy;
  static SQLite::Statement& rewound(SQLite::Statement& statement);

  TablePaths paths_;
  std::unique_ptr<SQLite::Database> db_;
  std::vector<ColumnDef> columns_;
  bool has_companion_ = false;
  bool writable_ = false;
  int64_t data_version_ = -1;
  std::unique_ptr<SQLite::Statement> select_ids_, select_row_, insert_row_;
  std::vector<std::unique_ptr<SQLite::Statement>> select_apart_;
};

// A copy of an open store's files into a new table's files, made a bounded number of pages at a time. It is
// built under scratch names; the target appears (replacing a table of that name) only at finish, and the
// scratch files go when the copy is dropped unfinished. The store must stay open and unchanged meanwhile.
class StoreCopy {
 public:
  StoreCopy(Store& source, const TablePaths& target);
  ~StoreCopy();
  StoreCopy(const StoreCopy&) = delete;
  StoreCopy& operator=(const StoreCopy&) = delete;

  // Copies up to `pages` pages; true when all are copied.
  bool step(int pages);
  // Bytes of the source files copied so far, and in all.
  int64_t bytes_done() const;
  int64_t bytes_total() const { return table_bytes_ + companion_bytes_; }
  // Puts the copied files in place of the target's; all must be copied.
  void finish();

 private:
  void begin_part();
  [[noreturn]] void throw_copy_error(const std::exception& error) const;

  Store& source_;
  TablePaths target_;
  TablePaths scratch_;
  int part_ = 0;  // 0: the table file, 1: the companion, 2: done
  int64_t table_bytes_ = 0;
  int64_t companion_bytes_ = 0;
  std::unique_ptr<SQLite::Database> copy_;
  std::unique_ptr<SQLite::Backup> backup_;
  bool finished_ = false;
};

// Rethrows an error of SQLite (or any other) as a TableError that names the file.
[[noreturn]] void throw_store_error(const std::exception& error, const std::filesystem::path& file);

}  // namespace vemla
