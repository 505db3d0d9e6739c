#include "store_files.h"

#include <SQLiteCpp/Transaction.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "staged_files.h"
#include "store_error.h"
#include "table_error.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

std::atomic<int64_t> g_lock_wait_ms{3000};

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

void write_header(SQLite::Database& db, const std::string& token) {
  db.exec("PRAGMA application_id=" + std::to_string(kTableApplicationId) +
          "; PRAGMA user_version=" + std::to_string(kTableFormatVersion));
  db.exec("CREATE TABLE info(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
  SQLite::Statement pair(db, "INSERT INTO info VALUES('pair', ?)");
  pair.bind(1, token);
  pair.exec();
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

fs::path folder_of(const fs::path& file) {
  return file.parent_path().empty() ? fs::path(".") : file.parent_path();
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

std::string random_token() {
  std::random_device random;
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", random(), random());
  return text;
}

void set_pair_token(const fs::path& file, const std::string& token) {
  SQLite::Database db(file, SQLite::OPEN_READWRITE);
  SQLite::Statement update(db, "UPDATE info SET value=? WHERE key='pair'");
  update.bind(1, token);
  update.exec();
}

fs::path scratch_name(const fs::path& file) {
  static std::atomic<unsigned> counter{0};
  // Only the start of a long name, and its extension, by which a settle knows it for a table's: the scratch
  // name and its journal must fit a folder's 255-byte names too.
  return file.parent_path() / ("." + file.stem().string().substr(0, 150) + file.extension().string() +
                               ".new-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
}

void remove_quietly(const fs::path& file) {
  std::error_code ignored;
  fs::remove(file, ignored);
}

void check_folder(const fs::path& table_file) {
  const fs::path folder = table_file.parent_path();
  std::error_code error;
  if (!folder.empty() && !fs::is_directory(folder, error))
    throw TableError("The folder " + folder.string() + " does not exist");
}

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
  // The companion goes first: a companion left alone would look like a library in the open dialogs.
  std::vector<std::string> names;
  if (existing.has_companion) names.push_back(paths.companion.filename().string());
  names.push_back(paths.table.filename().string());
  remove_together(folder_of(paths.table), names);
}

}  // namespace vemla
