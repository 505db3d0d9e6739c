#include "store_error.h"

#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>

#include "table_error.h"

namespace vemla {

bool is_busy(const SQLite::Exception& error) {
  const int code = error.getErrorCode() & 0xff;
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

void throw_store_error(const std::exception& error, const std::filesystem::path& file) {
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

}  // namespace vemla
