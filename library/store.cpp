#include "store.h"

#include <sqlite3.h>
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <set>

#include "blob_stream.h"
#include "table_error.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

std::string apart_sql(int position) {
  return "mb.v" + std::to_string(position);
}

// The names of the tables in the schema ("main" or "mb"), or of the columns of its table `table`.
std::set<std::string> part_names(SQLite::Database& db, const std::string& schema,
                                 const std::string& table = {}) {
  SQLite::Statement query(db, table.empty()
                                  ? "SELECT name FROM " + schema + ".sqlite_master WHERE type='table'"
                                  : "SELECT name FROM pragma_table_info(?, '" + schema + "')");
  if (!table.empty()) query.bind(1, table);
  std::set<std::string> names;
  while (query.executeStep()) names.insert(query.getColumn(0).getString());
  return names;
}

[[noreturn]] void throw_damaged(const fs::path& file, const std::string& lacking) {
  throw TableError(file.string() + " is damaged: it lacks " + lacking);
}

}  // namespace

Store::Store(const TablePaths& paths, Access access) : paths_(paths) {
  if (!file_exists(paths.table)) throw TableError("The table " + paths.table.string() + " does not exist");
  try {
    db_ = std::make_unique<SQLite::Database>(paths.table, SQLite::OPEN_READWRITE,
                                             static_cast<int>(lock_wait().count()));
    db_->exec("PRAGMA locking_mode=EXCLUSIVE");
    // The first read takes the lock, and rolls back what a crashed program left half-written.
    if (db_->execAndGet("PRAGMA application_id").getInt() != kTableApplicationId) {
      throw TableError(paths.table.string() + " is not a table file");
    }
    if (db_->execAndGet("PRAGMA user_version").getInt() > kTableFormatVersion) {
      throw TableError("The table " + paths.table.string() + " was made by a newer version of the program");
    }
    const std::set<std::string> tables = part_names(*db_, "main");
    if (!tables.count("columns")) throw_damaged(paths.table, "its list of columns");
    if (!tables.count("rows")) throw_damaged(paths.table, "its rows");
    const std::set<std::string> kept_columns = part_names(*db_, "main", "rows");
    SQLite::Statement list(*db_, "SELECT position, name, type, size FROM columns ORDER BY position");
    while (list.executeStep()) {
      ColumnDef column{list.getColumn(1).getString(), ColumnType::String, list.getColumn(3).getInt()};
      if (list.getColumn(0).getInt64() != static_cast<int64_t>(columns_.size()) ||
          !type_from_name(list.getColumn(2).getString(), column.type)) {
        throw TableError("The column list of " + paths.table.string() + " is damaged");
      }
      has_companion_ = has_companion_ || stored_apart(column.type);
      const std::string kept = row_column(static_cast<int>(columns_.size()));
      if (!stored_apart(column.type) && !kept_columns.count(kept))
        throw_damaged(paths.table, "the column " + column.name + " of its rows");
      columns_.push_back(std::move(column));
    }
    // Locking mode EXCLUSIVE keeps the write lock of the table file from here until the connection closes;
    // the companion is reached only through a connection holding it. Taken before the companion is attached,
    // since an empty transaction over two files still writes a super-journal.
    const bool read_only = access == Access::Read || sqlite3_db_readonly(db_->getHandle(), "main");
    if (!read_only) db_->exec("BEGIN EXCLUSIVE; COMMIT");
    if (has_companion_) {
      if (!file_exists(paths.companion)) {
        throw TableError("The memo and blob file " + paths.companion.string() + " of the table " +
                         paths.table.string() + " is missing: put it back beside the table, or a copy of it");
      }
      int companion_id = 0;
      try {
        SQLite::Statement attach(*db_, "ATTACH DATABASE ? AS mb");
        attach.bind(1, paths.companion.string());
        attach.exec();
        companion_id = db_->execAndGet("PRAGMA mb.application_id").getInt();
      } catch (const std::exception& error) {
        // The companion's own fault (not a table file at all) is named as its own, not the table file's.
        throw_store_error(error, paths.companion);
      }
      // An empty file reads as a table file of no kind: it is no companion at all, not another table's.
      if (companion_id != kTableApplicationId)
        throw TableError(paths.companion.string() + " is not a table file");
      if (db_->execAndGet("SELECT (SELECT value FROM main.info WHERE key='pair') IS "
                          "(SELECT value FROM mb.info WHERE key='pair')")
              .getInt() != 1) {
        throw TableError("The memo and blob file " + paths.companion.string() +
                         " does not belong to the table " + paths.table.string());
      }
    }
    select_apart_.resize(columns_.size());
    const std::set<std::string> apart_tables =
        has_companion_ ? part_names(*db_, "mb") : std::set<std::string>();
    for (size_t c = 0; c < columns_.size(); ++c) {
      if (!stored_apart(columns_[c].type)) continue;
      if (!apart_tables.count("v" + std::to_string(c)))
        throw_damaged(paths.companion, "the values of the column " + columns_[c].name);
      const std::string value = columns_[c].type == ColumnType::Blob ? "length(value)" : "value";
      select_apart_[c] = std::make_unique<SQLite::Statement>(
          *db_, "SELECT " + value + " FROM " + apart_sql(static_cast<int>(c)) + " WHERE id=?");
    }
    // A rollback journal, not WAL: only with it is a commit across the two files atomic.
    db_->exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL");
    if (read_only) {
      db_->exec("PRAGMA query_only=1");
      if (has_companion_) db_->exec("SELECT count(*) FROM mb.sqlite_master");
    }
    const fs::path folder = paths.table.parent_path().empty() ? fs::path(".") : paths.table.parent_path();
    writable_ = !read_only && ::access(folder.c_str(), W_OK) == 0 &&
                !(has_companion_ && sqlite3_db_readonly(db_->getHandle(), "mb") == 1);
    changed_elsewhere();
  } catch (const std::exception& error) {
    throw_store_error(error, paths.table);
  }
}

Store::~Store() = default;

int Store::position_of(std::string_view name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    const std::string& column = columns_[i].name;
    if (column.size() == name.size() && strncasecmp(column.data(), name.data(), name.size()) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

bool Store::in_transaction() const {
  return sqlite3_get_autocommit(db_->getHandle()) == 0;
}

SQLite::Statement& Store::rewound(SQLite::Statement& statement) {
  // tryReset: reset() would throw again the error of a run that failed before (a full disk, say).
  statement.tryReset();
  statement.clearBindings();
  return statement;
}

std::vector<int64_t> Store::row_ids() {
  std::vector<int64_t> ids;
  if (!select_ids_)
    select_ids_ = std::make_unique<SQLite::Statement>(*db_, "SELECT id FROM rows ORDER BY id");
  SQLite::Statement& select = rewound(*select_ids_);
  while (select.executeStep()) ids.push_back(select.getColumn(0).getInt64());
  return ids;
}

bool Store::changed_elsewhere() {
  int64_t version = db_->execAndGet("PRAGMA main.data_version").getInt64();
  if (has_companion_) version = version * 1000003 + db_->execAndGet("PRAGMA mb.data_version").getInt64();
  const bool changed = data_version_ != -1 && version != data_version_;
  data_version_ = version;
  return changed;
}

void Store::read_row(int64_t id, std::vector<Value>& values) {
  if (!select_row_) {
    std::string sql = "SELECT id";
    for (size_t c = 0; c < columns_.size(); ++c) {
      if (!stored_apart(columns_[c].type)) sql += ", " + row_column(static_cast<int>(c));
    }
    select_row_ = std::make_unique<SQLite::Statement>(*db_, sql + " FROM rows WHERE id=?");
  }
  SQLite::Statement& select = rewound(*select_row_);
  select.bind(1, id);
  if (!select.executeStep()) throw TableError("A row of " + paths_.table.string() + " has gone");
  int result_column = 1;
  for (size_t c = 0; c < columns_.size(); ++c) {
    if (stored_apart(columns_[c].type)) continue;
    const SQLite::Column value = select.getColumn(result_column);
    switch (value.getType()) {
      case SQLITE_NULL:
        values[c] = std::monostate{};
        break;
      case SQLITE_INTEGER:
        values[c] = value.getInt64();
        break;
      default:
        values[c] = value.getString();
    }
    ++result_column;
  }
}

std::vector<std::pair<int64_t, uint64_t>> Store::read_flags(const std::vector<int>& columns) {
  if (columns.size() > 64) throw TableError("At most 64 flags can be read at once");
  std::string sql = "SELECT id";
  for (int c : columns) {
    if (c < 0 || c >= static_cast<int>(columns_.size()) || stored_apart(columns_[c].type))
      throw TableError("No flag column at " + std::to_string(c) + " in " + paths_.table.string());
    sql += ", " + row_column(c);
  }
  // Straight on SQLite: a Column object per value would cost more than the read itself on 64 flags a row.
  sql += " FROM rows ORDER BY id";
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_->getHandle(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    sqlite3_finalize(raw);
    throw TableError("Cannot read " + paths_.table.string() + ": " + sqlite3_errmsg(db_->getHandle()));
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
  std::vector<std::pair<int64_t, uint64_t>> rows;
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    uint64_t word = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (sqlite3_column_int64(raw, static_cast<int>(i) + 1) != 0) word |= uint64_t{1} << i;
    }
    rows.emplace_back(sqlite3_column_int64(raw, 0), word);
  }
  if (rc != SQLITE_DONE)
    throw TableError("Cannot read " + paths_.table.string() + ": " + sqlite3_errmsg(db_->getHandle()));
  return rows;
}

// Memo and blob values live in the companion: a failure to read one is the companion's, and named so.
Value Store::read_memo(int64_t id, int column) {
  try {
    SQLite::Statement& select = rewound(*select_apart_[column]);
    select.bind(1, id);
    if (!select.executeStep() || select.isColumnNull(0)) return std::monostate{};
    return select.getColumn(0).getString();
  } catch (const std::exception& error) {
    throw_store_error(error, paths_.companion);
  }
}

int64_t Store::blob_size(int64_t id, int column) {
  try {
    SQLite::Statement& select = rewound(*select_apart_[column]);
    select.bind(1, id);
    if (!select.executeStep() || select.isColumnNull(0)) return 0;
    return select.getColumn(0).getInt64();
  } catch (const std::exception& error) {
    throw_store_error(error, paths_.companion);
  }
}

void Store::save_blob(int64_t id, int column, const fs::path& target) {
  if (blob_size(id, column) == 0) {
    vemla::save_blob(nullptr, target);
    return;
  }
  sqlite3_blob* blob = nullptr;
  const std::string table = "v" + std::to_string(column);
  const int rc = sqlite3_blob_open(db_->getHandle(), "mb", table.c_str(), "value", id, 0, &blob);
  if (rc != SQLITE_OK) {
    sqlite3_blob_close(blob);
    throw TableError("Cannot read a blob of " + paths_.companion.string() + ": " +
                     sqlite3_errmsg(db_->getHandle()));
  }
  std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob*)> closer(blob, sqlite3_blob_close);
  vemla::save_blob(blob, target, paths_.companion);
}

namespace {

void bind_value(SQLite::Statement& statement, int index, const Value& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) {
    statement.bind(index, *number);
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    statement.bind(index, *text);
  } else {
    statement.bind(index);
  }
}

}  // namespace

int64_t Store::insert_row(const std::vector<Value>& values) {
  if (!insert_row_) {
    std::string names, marks;
    for (size_t c = 0; c < columns_.size(); ++c) {
      if (stored_apart(columns_[c].type)) continue;
      names += (names.empty() ? "" : ", ") + row_column(static_cast<int>(c));
      marks += marks.empty() ? "?" : ", ?";
    }
    insert_row_ = std::make_unique<SQLite::Statement>(
        *db_, names.empty() ? "INSERT INTO rows DEFAULT VALUES"
                            : "INSERT INTO rows(" + names + ") VALUES(" + marks + ")");
  }
  SQLite::Statement& insert = rewound(*insert_row_);
  int index = 1;
  for (size_t c = 0; c < columns_.size(); ++c) {
    if (!stored_apart(columns_[c].type)) bind_value(insert, index++, values[c]);
  }
  insert.exec();
  return db_->getLastInsertRowid();
}

void Store::update_row(int64_t id, const std::vector<int>& columns, const std::vector<Value>& values) {
  std::string sql;
  for (int c : columns) {
    if (!stored_apart(columns_[c].type)) sql += (sql.empty() ? "" : ", ") + row_column(c) + "=?";
  }
  if (sql.empty()) return;
  SQLite::Statement update(*db_, "UPDATE rows SET " + sql + " WHERE id=?");
  int index = 1;
  for (int c : columns) {
    if (!stored_apart(columns_[c].type)) bind_value(update, index++, values[c]);
  }
  update.bind(index, id);
  update.exec();
}

void Store::write_memo(int64_t id, int column, const std::string& text) {
  SQLite::Statement write(
      *db_, text.empty() ? "DELETE FROM " + apart_sql(column) + " WHERE id=?"
                         : "INSERT OR REPLACE INTO " + apart_sql(column) + "(id, value) VALUES(?, ?)");
  write.bind(1, id);
  if (!text.empty()) write.bind(2, text);
  write.exec();
}

void Store::write_blob(int64_t id, int column, const PendingBlob* value) {
  if (!value || value->size() == 0) {
    SQLite::Statement remove(*db_, "DELETE FROM " + apart_sql(column) + " WHERE id=?");
    remove.bind(1, id);
    remove.exec();
    return;
  }
  const int64_t limit = std::min<int64_t>(INT_MAX, sqlite3_limit(db_->getHandle(), SQLITE_LIMIT_LENGTH, -1));
  if (value->size() > limit) {
    throw TableError("The file is too large to store in a table (" + std::to_string(value->size()) +
                     " bytes; at most " + std::to_string(limit) + ")");
  }
  // A zero-filled value of the final size as the row's last column is written without being built in memory,
  // then filled in chunks.
  SQLite::Statement insert(
      *db_, "INSERT OR REPLACE INTO " + apart_sql(column) + "(id, value) VALUES(?, zeroblob(?))");
  insert.bind(1, id);
  insert.bind(2, value->size());
  insert.exec();
  sqlite3_blob* blob = nullptr;
  const std::string table = "v" + std::to_string(column);
  if (sqlite3_blob_open(db_->getHandle(), "mb", table.c_str(), "value", id, 1, &blob) != SQLITE_OK) {
    sqlite3_blob_close(blob);
    throw TableError("Cannot store a blob in " + paths_.companion.string() + ": " +
                     sqlite3_errmsg(db_->getHandle()));
  }
  std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob*)> closer(blob, sqlite3_blob_close);
  vemla::write_blob(blob, *value);
}

void Store::throw_write_error(const std::exception& error) const {
  const auto* sql_error = dynamic_cast<const SQLite::Exception*>(&error);
  if (sql_error && has_companion_ && (sql_error->getErrorCode() & 0xff) == SQLITE_CORRUPT) {
    throw TableError(paths_.table.string() + " or its memo and blob file " +
                     paths_.companion.filename().string() + " is damaged (" + sql_error->what() +
                     "): put back a copy of the library, if you have one");
  }
  // Of two files the one gone is the one to name.
  const bool companion_gone = has_companion_ && file_exists(paths_.table) && !file_exists(paths_.companion);
  throw_store_error(error, companion_gone ? paths_.companion : paths_.table);
}

void Store::delete_row(int64_t id) {
  SQLite::Statement remove(*db_, "DELETE FROM rows WHERE id=?");
  remove.bind(1, id);
  remove.exec();
  for (size_t c = 0; c < columns_.size(); ++c) {
    if (!stored_apart(columns_[c].type)) continue;
    SQLite::Statement remove_apart(*db_, "DELETE FROM " + apart_sql(static_cast<int>(c)) + " WHERE id=?");
    remove_apart.bind(1, id);
    remove_apart.exec();
  }
}

StoreTransaction::StoreTransaction(Store& store) : store_(store), level_(store.transaction_depth_) {
  store_.sql().exec(level_ == 0 ? std::string("BEGIN") : "SAVEPOINT " + savepoint());
  ++store_.transaction_depth_;
}

std::string StoreTransaction::savepoint() const {
  return "level" + std::to_string(level_);
}

void StoreTransaction::commit() {
  if (!open_) return;
  store_.sql().exec(level_ == 0 ? std::string("COMMIT") : "RELEASE " + savepoint());
  open_ = false;
  --store_.transaction_depth_;
}

void StoreTransaction::rollback() noexcept {
  if (!open_) return;
  open_ = false;
  --store_.transaction_depth_;
  if (!store_.in_transaction()) return;
  try {
    store_.sql().exec(level_ == 0 ? std::string("ROLLBACK")
                                  : "ROLLBACK TO " + savepoint() + "; RELEASE " + savepoint());
  } catch (...) {
    // The transaction ends with the connection at the latest.
  }
}

}  // namespace vemla
