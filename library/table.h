// The table engine: a table object names a table file by folder and name, opens it, walks its rows in the
// order they were added, edits, appends and deletes rows, and reads and writes the values of the current row
// through field objects. Every change of a row is written by one post, in one transaction over the table
// file and its companion. Errors are TableErrors carrying the text the windows show.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schema.h"
#include "table_error.h"

namespace vemla {

class BatchMove;
class PendingBlob;
class Store;
class StoreTransaction;
class Table;
struct TablePaths;

// How the kind of a table file is chosen: by the extension of its name (".db"), or Paradox, which also gives
// a name without extension the extension ".db".
enum class TableType { ByExtension, Paradox };

// Inactive: closed. Browse: open, no change pending. Edit: the current row is being changed. Insert: a new
// row is being built; it becomes the last row when posted.
enum class TableState { Inactive, Browse, Edit, Insert };

// One column of an open table, reached through the table's current row. A field stays valid until its table
// closes.
class Field {
 public:
  const std::string& name() const;
  ColumnType type() const;
  int size() const;

  // A value never written reads as false, 0 and "".
  bool as_boolean() const;
  int as_integer() const;
  std::string as_text() const;  // integers in decimal, booleans as "True" or "False"
  bool is_empty() const;

  // Write the current row, which must be in edit mode. A text longer than a string column is cut.
  void set_boolean(bool value);
  void set_integer(int value);
  void set_text(std::string_view value);
  // The blob (or memo) becomes the file's bytes; an error when the file cannot be opened.
  void load_from_file(const std::filesystem::path& file);
  // Creates or overwrites the file with the blob's (or memo's) bytes.
  void save_to_file(const std::filesystem::path& file) const;

 private:
  friend class Table;
  Field(Table& table, int column, uint64_t generation)
      : table_(&table), column_(column), generation_(generation) {}
  const ColumnDef& definition() const;
  void write(Value value);

  Table* table_;
  int column_;
  uint64_t generation_;
};

// Told of a table's changes: its state (opened, closed, edit mode entered or left), its current row (moved,
// re-read, written) and the values of its current row.
class TableListener {
 public:
  virtual ~TableListener() = default;
  virtual void table_state_changed(Table&) {}
  virtual void table_row_changed(Table&) {}
  virtual void table_field_changed(Table&, const Field&) {}
};

class Table {
 public:
  explicit Table(std::string table_name = {});
  // Closes the table, posting a pending change when it can.
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Naming and options; only while the table is closed.
  void set_location(const std::filesystem::path& folder);
  const std::filesystem::path& location() const { return location_; }
  void set_table_name(const std::string& name);
  const std::string& table_name() const { return name_; }
  void set_table_type(TableType type);
  TableType table_type() const { return type_; }
  // An open read-only table refuses every change with an error and changes nothing. A table whose files or
  // folder cannot be written opens read-only whatever was set.
  void set_read_only(bool read_only);
  bool read_only() const { return read_only_ || files_read_only(); }
  // Open for writing as asked, but its files or their folder cannot be written.
  bool files_read_only() const;
  // The data module's listing of the columns: field_by_position follows it (else the physical order), and
  // open fails when the table lacks one of them.
  void set_field_order(std::vector<std::string> names);
  // Called with the table file's path when open finds no file, to create it.
  void set_create_when_missing(std::function<void(const std::filesystem::path&)> create);
  // The table file named by location, name and type.
  std::filesystem::path file_path() const;

  // Open of an open table and close of a closed one do nothing. Close posts a pending change first.
  void open();
  void close();
  bool is_open() const { return state_ != TableState::Inactive; }
  TableState state() const { return state_; }

  // The cursor: record numbers are 1-based positions in the order rows were added. Moving posts a pending
  // change (or drops an untouched new row) first; a change that cannot be written is dropped with the error,
  // as it is by refresh and close.
  int record_count() const;
  void first();
  void next();
  // Moves by distance rows, stopping at the first or last row; returns the distance moved.
  int move_by(int distance);
  bool at_beginning() const;  // after first, or a move back past the first row; true on an empty table
  bool at_end() const;        // after next on the last row, or a move past it; true on an empty table
  int record_number() const;  // 0 on an empty table; a new row counts as the one after the last

  void append();         // a new empty row at the end becomes current, in edit mode
  void edit();           // on an empty table a new row is begun instead; nothing when already editing
  void post();           // writes the pending row; nothing when not editing
  void cancel();         // drops the pending change (and a new row); nothing when not editing
  void refresh();        // posts a pending change (drops it when nothing changed), re-reads, keeps the row
  void delete_record();  // removes the current row; an error on an empty table

  // The given boolean fields (at most 64) of every row at once, one word per row in record-number order: bit i
  // set when fields[i] is true. A pending change is posted first; the current row stays.
  std::vector<uint64_t> read_flags(const std::vector<Field>& fields);

  Field field_by_name(std::string_view name);
  Field field_by_position(int position);
  const std::vector<ColumnDef>& columns() const;  // in the file's physical order

  // The table files of location and name; the table must be closed.
  void create_table(const std::vector<ColumnDef>& columns);
  void delete_table();

  void add_listener(TableListener& listener);
  void remove_listener(TableListener& listener);

  // The open table's files, for queries that read a few columns of every row at once; null while closed.
  Store* store() { return store_.get(); }
  // For what belongs to rows but is kept beside them in the table file (a track's gains): the current row's
  // id there (0 on an empty table or a new row), and writes made in the table's transaction (its batch's, else
  // one of their own), refused like any change of a read-only table.
  int64_t row_id() const;
  // The row id of a record (1-based) without moving to it; 0 outside the table.
  int64_t id_of(int record) const;
  // Grows by one with each row posted as new, and past the row count whenever the ids are read from the file
  // (an open, a rollback, a change by another program). The file gives a deleted last row's id to the next
  // new row, so a reader that keeps rows by id reads again the table's last rows, as many as this grew.
  uint64_t rows_renewed() const { return rows_renewed_; }
  void write_beside(const std::function<void()>& write);

 private:
  friend class Field;
  friend class BatchMove;
  friend class TableBatch;

  TablePaths paths() const;
  void check_open() const;
  void check_closed(const char* what) const;
  void check_writable() const;
  bool editing() const { return state_ == TableState::Edit || state_ == TableState::Insert; }
  void check_browse_mode();
  void begin_insert();
  void end_edit();
  // Runs write as one unit: a savepoint within the batch's transaction, else a transaction of its own.
  void write_atomically(const std::function<void()>& write);
  void end_batch(bool commit);
  // After a rollback: the rows as committed, the cursor on the same row or the next one left.
  void reread_rows();
  void reload_ids();
  void notify(void (TableListener::*event)(Table&));

  // For fields.
  void check_field(const Field& field) const;
  const Value& value_of(int column);
  void write_value(const Field& field, Value value, std::unique_ptr<PendingBlob> blob = nullptr);
  void load_blob(const Field& field, const std::filesystem::path& file);
  void save_blob(int column, const std::filesystem::path& file);

  std::filesystem::path location_;
  std::string name_;
  TableType type_ = TableType::ByExtension;
  bool read_only_ = false;
  std::vector<std::string> field_order_;
  std::function<void(const std::filesystem::path&)> create_when_missing_;

  std::unique_ptr<Store> store_;
  TableState state_ = TableState::Inactive;
  uint64_t generation_ = 0;
  std::unordered_map<std::string, int> by_name_;  // upper-case name -> column
  // The column of a name in any letter case; -1 when the table has none.
  int column_named(std::string_view name) const;
  std::vector<int> order_;                        // position -> column

  std::vector<int64_t> ids_;  // row ids in record-number order
  uint64_t rows_renewed_ = 0;
  size_t position_ = 0;       // index of the current row in ids_
  bool bof_ = true;
  bool eof_ = true;

  // The current row's values, read when first asked for.
  int64_t cached_id_ = -1;
  bool main_cached_ = false;
  std::vector<Value> cached_;
  std::vector<char> apart_cached_;

  // The pending row in Edit and Insert.
  std::vector<Value> pending_;
  std::vector<char> changed_;
  std::vector<std::unique_ptr<PendingBlob>> pending_blobs_;
  bool modified_ = false;
  std::unique_ptr<StoreTransaction> batch_;  // the transaction of the batch under way
  bool batch_lost_ = false;  // the engine ended the batch's transaction after an error

  std::vector<TableListener*> listeners_;
};

// Posts and deletes of one table gathered in one transaction and committed together, for work that writes
// many rows (one commit costs a wait for the disk). Each post inside stays all or nothing: a row that fails
// is taken back and the rows before it stay. Rows not committed are rolled back when the batch goes (or the
// table closes), and the table forgets them. One batch per table at a time; only on an open, writable table.
class TableBatch {
 public:
  explicit TableBatch(Table& table);
  ~TableBatch();
  TableBatch(const TableBatch&) = delete;
  TableBatch& operator=(const TableBatch&) = delete;

  // Posts a pending change, then commits; on an error nothing of the batch is kept.
  void commit();

 private:
  Table& table_;
};

}  // namespace vemla
