// Whole libraries: naming one by a chosen file, creating, opening and closing it in the data module, and
// deleting its files. Copy and move are jobs of their own (library_copy.h). A library's three files appear
// and go together (staged_files.h): every routine here settles the library's folder first, so that what a
// killed program left there is completed or taken back before it is looked at. Errors are TableErrors.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace vemla {

class Tdb;

// A library: folder F and base name N, with the track table F/N.db, its store F/N.mb and the category-name
// table F/N1.db.
struct LibraryPath {
  std::filesystem::path folder;
  std::string base;

  std::filesystem::path tracks() const;
  std::filesystem::path store() const;
  std::filesystem::path categories() const;
};

// The library a chosen file names: the base name is the file name up to its last "." (the whole name when it
// has none), the folder what comes before the file name (the current folder when nothing does).
LibraryPath split_library_path(const std::filesystem::path& chosen);

// Whether the library's track table exists, once its folder is settled.
bool library_exists(const LibraryPath& library);

// The longest base name a library in the folder can have: its files and the journals SQLite names after them
// must fit the folder's longest file name.
size_t max_library_name(const std::filesystem::path& folder);

// Refuses, with the reason, a name that no new library in its folder can have: one holding "/", one too long,
// and one whose files would be another library's.
void check_new_library_name(const LibraryPath& library);

enum class CreateResult { Created, Exists, NoName };

// Creates the library's two tables, empty, and opens it in db (closing the library open before). Does
// nothing when the base name is empty or its track table exists. The tables appear both or neither, even to
// a kill; a failure leaves the library that was open as it was. Thread: the user-interface thread, like all
// of db.
CreateResult create_library(Tdb& db, const LibraryPath& library);

// Opens the library's track and category-name tables in db, read-only when the library's READONLY flag is
// set (false while its category-name table has no row) and writable otherwise, and copies the flag into the
// settings record when the settings table is open. The library open before is closed first. On an error what
// was opened stays open, as each step leaves it.
void open_library(Tdb& db, const LibraryPath& library);

// Opens the library's two tables as open_library would, and closes them again: the error open_library would
// meet, without touching what db has open. For trying a library before the one open is given up for it.
void check_library_opens(const LibraryPath& library);

// Posts pending changes of the track and category-name tables and closes both; the settings table stays.
void close_library(Tdb& db);

// Deletes the library's track table (with its store) and its category-name table when there is one,
// together; an error, with nothing deleted, when the track table does not exist or the library is in use.
void delete_library(const LibraryPath& library);

// An error, as delete_library gives it, when the library's track table does not exist or another program has
// the library open; for work that takes a library's files away by other means (the desktop's trash).
void check_library_not_in_use(const LibraryPath& library);

}  // namespace vemla
