#include "library_files.h"

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data.h"
#include "rows.h"
#include "schema.h"
#include "staged_files.h"
#include "store.h"
#include "table.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

// A closed table object naming one table file of a library.
void name_table(Table& table, const LibraryPath& library, const std::string& name) {
  table.set_location(library.folder);
  table.set_table_name(name);
}

// SQLite would wait for ever on a pipe named like a table file, and reads a device as if it were one: the
// library's files must be plain files (those that are missing are reported by the open that follows).
void refuse_odd_files(const LibraryPath& library) {
  for (const fs::path& file : {library.tracks(), library.store(), library.categories()}) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0 || S_ISREG(status.st_mode)) continue;
    throw TableError(file.string() + (S_ISDIR(status.st_mode) ? " is a folder" : " is not a regular file"));
  }
}

bool track_table_exists(const LibraryPath& library) {
  return file_exists(library.tracks());
}

void set_read_only(Table& table, bool read_only) {
  if (table.read_only() == read_only) return;
  table.close();
  table.set_read_only(read_only);
  table.open();
}

}  // namespace

fs::path LibraryPath::tracks() const {
  return folder / library_tables(base).tracks;
}

fs::path LibraryPath::store() const {
  return companion_of(tracks());
}

fs::path LibraryPath::categories() const {
  return folder / library_tables(base).categories;
}

LibraryPath split_library_path(const fs::path& chosen) {
  const std::string text = chosen.string();
  const size_t slash = text.rfind('/');
  LibraryPath library;
  if (slash == std::string::npos) {
    std::error_code error;
    library.folder = fs::current_path(error);
    if (error) library.folder = ".";
  } else {
    library.folder = slash == 0 ? fs::path("/") : fs::path(text.substr(0, slash));
  }
  const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
  library.base = name.substr(0, name.rfind('.'));
  return library;
}

size_t max_library_name(const fs::path& folder) {
  const long name_max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  const size_t longest = name_max > 0 ? static_cast<size_t>(name_max) : 255;
  // The track table's super-journal of a commit over both files is the longest: "N.db" + "-mjXXXXXX9XX".
  constexpr size_t kLongestSuffix = 3 + 12;
  return longest > kLongestSuffix ? longest - kLongestSuffix : 0;
}

bool library_exists(const LibraryPath& library) {
  settle_folder(library.folder);
  return track_table_exists(library);
}

void check_new_library_name(const LibraryPath& library) {
  const std::string& base = library.base;
  if (base.find('/') != std::string::npos) throw TableError("A database name cannot contain \"/\": " + base);
  const size_t longest = max_library_name(library.folder);
  if (base.size() > longest) {
    throw TableError("The name " + base + " is too long for a database: at most " + std::to_string(longest) +
                     " bytes (letters without accents take one, others two or more)");
  }
  // N1.db is both the category names of N and the track table of N1: the two cannot share a folder.
  const LibraryPath shorter{library.folder,
                            base.size() > 1 ? base.substr(0, base.size() - 1) : std::string()};
  if (base.size() > 1 && base.back() == '1' && track_table_exists(shorter)) {
    throw TableError("The database " + shorter.base + " in this folder keeps its category names in " +
                     library.tracks().filename().string() + ": a database " + base + " cannot be beside it");
  }
  if (file_exists(companion_of(library.categories()))) {
    throw TableError("The database " + base + "1 in this folder keeps its tracks in " +
                     library.categories().filename().string() + ": a database " + base +
                     " cannot be beside it");
  }
}

CreateResult create_library(Tdb& db, const LibraryPath& library) {
  if (library.base.empty()) return CreateResult::NoName;
  settle_folder(library.folder);
  check_new_library_name(library);
  if (track_table_exists(library)) return CreateResult::Exists;
  // The stage would put the new category names in its place: a file of that name is refused, as it was.
  if (file_exists(library.categories()))
    throw TableError("The table " + library.categories().string() + " exists already");
  {
    const LibraryTables names = library_tables(library.base);
    StagedFiles stage(library.folder);
    const LibraryPath staged{stage.stage(), library.base};
    Table tracks, categories;
    name_table(tracks, staged, names.tracks);
    name_table(categories, staged, names.categories);
    try {
      tracks.create_table(track_columns());
      categories.create_table(category_columns());
    } catch (const TableError& error) {
      // Named as the user named the library, not by the stage it was being made in.
      std::string text = error.what();
      const std::string stage_path = stage.stage().string();
      for (size_t at; (at = text.find(stage_path)) != std::string::npos;)
        text.replace(at, stage_path.size(), stage.folder().string());
      throw TableError(text);
    }
    // Made meanwhile by another program: that one is kept.
    if (track_table_exists(library)) return CreateResult::Exists;
    stage.commit({names.categories, library.store().filename().string(), names.tracks});
  }
  open_library(db, library);
  return CreateResult::Created;
}

void open_library(Tdb& db, const LibraryPath& library) {
  close_library(db);
  settle_folder(library.folder);
  refuse_odd_files(library);
  const LibraryTables names = library_tables(library.base);
  name_table(db.Table1, library, names.tracks);
  db.Table1.open();
  name_table(db.Table3, library, names.categories);
  db.Table3.open();
  const bool read_only = library_read_only(db.Table3);
  set_read_only(db.Table1, read_only);
  set_read_only(db.Table3, read_only);
  if (db.Table2.is_open()) {
    db.Table2.edit();
    set(db.Table2, SettingsTable::read_only, read_only);
    db.Table2.refresh();
  }
}

void check_library_opens(const LibraryPath& library) {
  refuse_odd_files(library);
  const LibraryTables names = library_tables(library.base);
  Table tracks, categories;
  name_table(tracks, library, names.tracks);
  name_table(categories, library, names.categories);
  for (Table* table : {&tracks, &categories}) table->set_table_type(TableType::Paradox);
  tracks.set_field_order(track_field_order());
  tracks.open();
  categories.open();
  library_read_only(categories);  // a table without the column is no library
}

void close_library(Tdb& db) {
  db.Table1.close();
  db.Table3.close();
}

void delete_library(const LibraryPath& library) {
  if (!library_exists(library))
    throw TableError("There is no database " + library.store().string());
  // Held while the files go: a library another program has open is left whole.
  const ExistingTable tracks = lock_existing(library.tracks());
  ExistingTable categories;
  if (file_exists(library.categories())) categories = lock_existing(library.categories());
  // The store first: the open dialogs find a library by it, and must not find one half gone.
  std::vector<std::string> names;
  if (tracks.has_companion) names.push_back(library.store().filename().string());
  names.push_back(library.tracks().filename().string());
  names.push_back(library.categories().filename().string());
  remove_together(library.folder, names);
}

void check_library_not_in_use(const LibraryPath& library) {
  if (!library_exists(library)) throw TableError("There is no database " + library.store().string());
  struct stat status {};
  if (::stat(library.tracks().c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return;  // no one's table
  try {
    SQLite::Database probe(library.tracks(), SQLite::OPEN_READWRITE, static_cast<int>(lock_wait().count()));
    probe.exec("BEGIN EXCLUSIVE; COMMIT");
  } catch (const SQLite::Exception& error) {
    const int code = error.getErrorCode() & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) throw_store_error(error, library.tracks());
    // Any other failure (a damaged file, a read-only one) means no program is writing it.
  }
}

}  // namespace vemla
