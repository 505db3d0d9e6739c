#include "store.h"

#include <SQLiteCpp/Backup.h>
#include <SQLiteCpp/Transaction.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

#include "blob_stream.h"
#include "table_error.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

constexpr int kApplicationId = 0x566D6C61;  // "Vmla" in the SQLite header's application id
constexpr int kFormatVersion = 1;
std::atomic<int64_t> g_lock_wait_ms{3000};

std::string apart_sql(int position) {
  return "mb.v" + std::to_string(position);
}

const char* sql_type(ColumnType type) {
  switch (type) {
    case ColumnType::String:
    case ColumnType::Memo:
      return "TEXT";
    case ColumnType::Blob:
      return "BLOB";
    default:
      return "INTEGER";
  }
}

bool is_busy(const SQLite::Exception& error) {
  const int code = error.getErrorCode() & 0xff;
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

std::string random_token() {
  std::random_device random;
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", random(), random());
  return text;
}

// A name beside the final one for building a file before it is renamed into place.
fs::path scratch_name(const fs::path& file) {
  static std::atomic<unsigned> counter{0};
  // Only the start of a long name: the scratch name and its journal must fit a folder's 255-byte names too.
  return file.parent_path() / ("." + file.filename().string().substr(0, 160) + ".new-" +
                               std::to_string(::getpid()) + "-" + std::to_string(counter++));
}

void remove_quietly(const fs::path& file) {
  std::error_code ignored;
  fs::remove(file, ignored);
}

// Removes what is left of the scratch files (nothing once they are renamed into place).
struct ScratchFiles {
  std::vector<fs::path> files;
  ~ScratchFiles() {
    for (const fs::path& file : files) {
      remove_quietly(file);
      remove_quietly(file.string() + "-journal");
    }
  }
};

void check_folder(const fs::path& table_file) {
  const fs::path folder = table_file.parent_path();
  std::error_code error;
  if (!folder.empty() && !fs::is_directory(folder, error))
    throw TableError("The folder " + folder.string() + " does not exist");
}

void write_header(SQLite::Database& db, const std::string& token) {
  db.exec("PRAGMA application_id=" + std::to_string(kApplicationId) +
          "; PRAGMA user_version=" + std::to_string(kFormatVersion));
  db.exec("CREATE TABLE info(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
  SQLite::Statement pair(db, "INSERT INTO info VALUES('pair', ?)");
  pair.bind(1, token);
  pair.exec();
}

void set_pair_token(const fs::path& file, const std::string& token) {
  SQLite::Database db(file, SQLite::OPEN_READWRITE);
  SQLite::Statement update(db, "UPDATE info SET value=? WHERE key='pair'");
  update.bind(1, token);
  update.exec();
}

void validate(const std::vector<ColumnDef>& columns) {
  if (columns.empty()) throw TableError("A table needs at least one column");
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnDef& column = columns[i];
    if (column.name.empty()) throw TableError("A column has no name");
    if (column.type == ColumnType::String && column.size < 1) {
      throw TableError("The string column " + column.name + " needs a size of at least 1");
    }
    for (size_t j = 0; j < i; ++j) {
      if (strcasecmp(columns[j].name.c_str(), column.name.c_str()) == 0) {
        throw TableError("The column " + column.name + " is defined twice");
      }
    }
  }
}

// The lock an open takes, taken on an existing table file so that a table another program has open is
// neither replaced nor removed; no connection when the file is no table at all (it goes all the same).
struct ExistingTable {
  std::unique_ptr<SQLite::Database> db;
  bool has_companion = true;  // when unknown, the companion goes with the table
};

ExistingTable lock_existing(const fs::path& table_file) {
  ExistingTable existing;
  try {
    existing.db = std::make_unique<SQLite::Database>(table_file, SQLite::OPEN_READWRITE,
                                                     static_cast<int>(g_lock_wait_ms.load()));
    existing.db->exec("PRAGMA locking_mode=EXCLUSIVE");
    existing.db->exec("BEGIN EXCLUSIVE; COMMIT");
  } catch (const SQLite::Exception& error) {
    if (is_busy(error)) throw_store_error(error, table_file);
    existing.db.reset();
    return existing;
  }
  try {
    existing.has_companion =
        existing.db->execAndGet("SELECT count(*) FROM columns WHERE type IN ('memo', 'blob')").getInt() > 0;
  } catch (const SQLite::Exception&) {
  }
  return existing;
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

void remove_journals(const fs::path& file) {
  remove_quietly(file.string() + "-journal");
  // Super-journals of multi-file commits are named after the table file with "-mj" and a random suffix.
  std::error_code error;
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const std::string prefix = file.filename().string() + "-mj";
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) remove_quietly(entry.path());
  }
}

}  // namespace

std::string row_column(int position) {
  return "c" + std::to_string(position);
}

fs::path companion_of(const fs::path& table_file) {
  fs::path companion = table_file;
  return companion.replace_extension(table_file.extension() == ".DB" ? ".MB" : ".mb");
}

bool file_exists(const fs::path& file) {
  std::error_code error;
  return fs::exists(file, error);
}

bool rename_no_replace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS)
    throw TableError("Cannot create " + to.string() + ": " + std::strerror(errno));
  // File systems without RENAME_NOREPLACE: link() refuses an existing target too.
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return false;
    throw TableError("Cannot create " + to.string() + ": " + std::strerror(errno));
  }
  ::unlink(from.c_str());
  return true;
}

std::chrono::milliseconds lock_wait() {
  return std::chrono::milliseconds(g_lock_wait_ms.load());
}
void set_lock_wait(std::chrono::milliseconds wait) {
  g_lock_wait_ms = wait.count();
}

void throw_store_error(const std::exception& error, const fs::path& file) {
  if (const auto* table_error = dynamic_cast<const TableError*>(&error)) throw *table_error;
  if (const auto* sql_error = dynamic_cast<const SQLite::Exception*>(&error)) {
    if (is_busy(*sql_error)) {
      throw TableError("The table " + file.string() +
                       " is in use by another program: try again once that program has closed it");
    }
    if ((sql_error->getErrorCode() & 0xff) == SQLITE_NOTADB)
      throw TableError(file.string() + " is not a table file");
    if ((sql_error->getErrorCode() & 0xff) == SQLITE_FULL)
      throw TableError("The disk holding " + file.string() + " is full: make room there and try again");
    if ((sql_error->getErrorCode() & 0xff) == SQLITE_CORRUPT)
      throw TableError(file.string() + " is damaged (" + sql_error->what() +
                       "): put back a copy of it, if you have one");
    // SQLite's own text for this is "attempt to write a readonly database", which sends the user to the
    // file's rights; the file (or its folder) is simply not where it was opened any more.
    if (sql_error->getExtendedErrorCode() == SQLITE_READONLY_DBMOVED)
      throw TableError("The table " + file.string() +
                       " was deleted or moved while it was open; open the database again where it is now");
  }
  throw TableError("Table " + file.string() + ": " + error.what());
}

void create_table_files(const TablePaths& paths, const std::vector<ColumnDef>& columns) {
  validate(columns);
  check_folder(paths.table);
  if (file_exists(paths.table)) throw TableError("The table " + paths.table.string() + " exists already");
  bool apart = false;
  for (const ColumnDef& column : columns) apart = apart || stored_apart(column.type);
  const std::string token = random_token();
  ScratchFiles scratch;
  const fs::path new_table = scratch_name(paths.table);
  const fs::path new_companion = scratch_name(paths.companion);
  scratch.files = {new_table, new_companion};
  try {
    {
      SQLite::Database db(new_table, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
      SQLite::Transaction transaction(db);
      write_header(db, token);
      db.exec(
          "CREATE TABLE columns(position INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, "
          "size INTEGER NOT NULL)");
      SQLite::Statement insert(db, "INSERT INTO columns VALUES(?, ?, ?, ?)");
      std::string rows = "CREATE TABLE rows(id INTEGER PRIMARY KEY";
      for (size_t i = 0; i < columns.size(); ++i) {
        insert.bind(1, static_cast<int64_t>(i));
        insert.bind(2, columns[i].name);
        insert.bind(3, std::string(type_name(columns[i].type)));
        insert.bind(4, columns[i].type == ColumnType::String ? columns[i].size : 0);
        insert.exec();
        insert.reset();
        if (!stored_apart(columns[i].type))
          rows += ", " + row_column(static_cast<int>(i)) + " " + sql_type(columns[i].type);
      }
      db.exec(rows + ")");
      transaction.commit();
    }
    if (apart) {
      SQLite::Database db(new_companion, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
      SQLite::Transaction transaction(db);
      write_header(db, token);
      for (size_t i = 0; i < columns.size(); ++i) {
        if (!stored_apart(columns[i].type)) continue;
        db.exec("CREATE TABLE v" + std::to_string(i) + "(id INTEGER PRIMARY KEY, value " +
                sql_type(columns[i].type) + ")");
      }
      transaction.commit();
    }
  } catch (const std::exception& error) {
    throw_store_error(error, paths.table);
  }
  if (!rename_no_replace(new_table, paths.table)) {
    throw TableError("The table " + paths.table.string() + " exists already");
  }
  if (apart) {
    std::error_code error;
    fs::rename(new_companion, paths.companion, error);
    if (error) throw TableError("Cannot create " + paths.companion.string() + ": " + error.message());
  }
}

void delete_table_files(const TablePaths& paths) {
  if (!file_exists(paths.table)) throw TableError("The table " + paths.table.string() + " does not exist");
  ExistingTable existing = lock_existing(paths.table);
  // The companion goes first: a table file left without it reports the loss, a companion left alone would
  // look like a library in the open dialogs.
  if (existing.has_companion) {
    remove_quietly(paths.companion);
    remove_journals(paths.companion);
  }
  remove_journals(paths.table);
  std::error_code error;
  fs::remove(paths.table, error);
  if (error) throw TableError("Cannot delete " + paths.table.string() + ": " + error.message());
}

Store::Store(const TablePaths& paths, Access access) : paths_(paths) {
  if (!file_exists(paths.table)) throw TableError("The table " + paths.table.string() + " does not exist");
  try {
    db_ = std::make_unique<SQLite::Database>(paths.table, SQLite::OPEN_READWRITE,
                                             static_cast<int>(g_lock_wait_ms.load()));
    db_->exec("PRAGMA locking_mode=EXCLUSIVE");
    // The first read takes the lock, and rolls back what a crashed program left half-written.
    if (db_->execAndGet("PRAGMA application_id").getInt() != kApplicationId) {
      throw TableError(paths.table.string() + " is not a table file");
    }
    if (db_->execAndGet("PRAGMA user_version").getInt() > kFormatVersion) {
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
      if (companion_id != kApplicationId) throw TableError(paths.companion.string() + " is not a table file");
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

void Store::copy_to(const TablePaths& target) {
  StoreCopy copy(*this, target);
  while (!copy.step(256)) {
  }
  copy.finish();
}

namespace {

int64_t size_of(const fs::path& file) {
  std::error_code error;
  const auto size = fs::file_size(file, error);
  return error ? 0 : static_cast<int64_t>(size);
}

}  // namespace

StoreCopy::StoreCopy(Store& source, const TablePaths& target)
    : source_(source),
      target_(target),
      scratch_{scratch_name(target.table), scratch_name(target.companion)},
      table_bytes_(size_of(source.paths().table)),
      companion_bytes_(source.has_companion() ? size_of(source.paths().companion) : 0) {
  check_folder(target.table);
  begin_part();
}

StoreCopy::~StoreCopy() {
  backup_.reset();
  copy_.reset();
  if (!finished_) ScratchFiles cleanup{{scratch_.table, scratch_.companion}};
}

void StoreCopy::begin_part() {
  backup_.reset();
  copy_.reset();
  if (part_ == 1 && !source_.has_companion()) part_ = 2;
  if (part_ == 2) return;
  try {
    const fs::path& file = part_ == 0 ? scratch_.table : scratch_.companion;
    copy_ = std::make_unique<SQLite::Database>(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    backup_ = std::make_unique<SQLite::Backup>(*copy_, "main", *source_.db_, part_ == 0 ? "main" : "mb");
  } catch (const std::exception& error) {
    throw_copy_error(error);
  }
}

// A busy source is in use by another program; anything else (a folder that cannot be written, a full disk)
// concerns the copy, which is named as the user named it rather than by its scratch name.
void StoreCopy::throw_copy_error(const std::exception& error) const {
  const auto* sql_error = dynamic_cast<const SQLite::Exception*>(&error);
  throw_store_error(error, sql_error && is_busy(*sql_error) ? source_.paths().table
                           : part_ == 0                     ? target_.table
                                                            : target_.companion);
}

bool StoreCopy::step(int pages) {
  if (part_ == 2) return true;
  try {
    // The backup copies page by page, from the rows as last committed.
    if (backup_->executeStep(pages) == SQLITE_DONE) {
      ++part_;
      begin_part();
    }
  } catch (const std::exception& error) {
    throw_copy_error(error);
  }
  return part_ == 2;
}

int64_t StoreCopy::bytes_done() const {
  if (part_ == 2) return bytes_total();
  const int64_t done_before = part_ == 0 ? 0 : table_bytes_;
  const int64_t part_bytes = part_ == 0 ? table_bytes_ : companion_bytes_;
  const int total_pages = backup_->getTotalPageCount();
  if (total_pages <= 0) return done_before;
  const int64_t copied = total_pages - backup_->getRemainingPageCount();
  return done_before + part_bytes * copied / total_pages;
}

void StoreCopy::finish() {
  if (part_ != 2) throw TableError("The copy of " + source_.paths().table.string() + " is not complete");
  // A fresh pair token tells the copies from the originals.
  const std::string token = random_token();
  try {
    set_pair_token(scratch_.table, token);
    if (source_.has_companion()) set_pair_token(scratch_.companion, token);
  } catch (const std::exception& error) {
    throw_store_error(error, target_.table);
  }
  ExistingTable existing;
  if (file_exists(target_.table)) existing = lock_existing(target_.table);
  std::error_code error;
  if (source_.has_companion()) {
    fs::rename(scratch_.companion, target_.companion, error);
  } else if (existing.db && existing.has_companion) {
    remove_quietly(target_.companion);
  }
  if (!error) fs::rename(scratch_.table, target_.table, error);
  if (error) throw TableError("Cannot write " + target_.table.string() + ": " + error.message());
  finished_ = true;
}

}  // namespace vemla
