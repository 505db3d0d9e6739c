#include "settings_recovery.h"

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include "schema.h"
#include "store.h"
#include "table.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

bool same_name(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::toupper(x) == std::toupper(y);
  });
}

// Empty when the open table has every column the program reads, with its type, and a readable row.
std::string check_contents(Table& settings) {
  const std::string file = settings.file_path().string();
  const std::vector<ColumnDef>& have = settings.columns();
  for (const ColumnDef& want : settings_columns()) {
    const auto found = std::find_if(have.begin(), have.end(),
                                    [&](const ColumnDef& column) { return same_name(column.name, want.name); });
    if (found == have.end()) return "The settings table " + file + " has no field " + want.name;
    if (found->type != want.type) {
      return "The field " + want.name + " of the settings table " + file + " is not of type " +
             std::string(type_name(want.type));
    }
  }
  if (settings.record_count() == 0) return "The settings table " + file + " has no row";
  settings.first();
  for (const ColumnDef& want : settings_columns()) settings.field_by_name(want.name).as_text();
  return {};
}

// Opens the table; empty when it opened and can be used, else what is wrong (the table left closed).
std::string try_open(Table& settings) {
  try {
    settings.open();
    const std::string problem = check_contents(settings);
    if (problem.empty()) return {};
    settings.close();
    return problem;
  } catch (const TableError& error) {
    try {
      settings.close();
    } catch (const TableError&) {
    }
    return error.what();
  }
}

// True when another connection holds the file locked: then it is in use, not damaged.
bool in_use(const fs::path& file) {
  try {
    SQLite::Database probe(file, SQLite::OPEN_READONLY);
    probe.execAndGet("PRAGMA schema_version");
    return false;
  } catch (const SQLite::Exception& error) {
    const int code = error.getErrorCode() & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
  }
}

std::string time_stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

fs::path damaged_name(const fs::path& file, const std::string& stamp) {
  const std::string base = file.string() + ".damaged-" + stamp;
  fs::path name = base;
  for (int n = 2; file_exists(name); ++n) name = base + "-" + std::to_string(n);
  return name;
}

std::optional<SettingsRecovery> open_settings_table(Table& settings) {
  if (settings.is_open()) return std::nullopt;
  std::string problem = try_open(settings);
  if (problem.empty()) return std::nullopt;
  const fs::path file = settings.file_path();
  // Nothing to put aside: the folder or the new file could not be made.
  if (!file_exists(file) || in_use(file)) throw TableError(problem);
  // A program that held the table may have let it go in between.
  if (try_open(settings).empty()) return std::nullopt;

  SettingsRecovery recovery{std::move(problem), {}};
  const std::string stamp = time_stamp();
  for (;;) {
    recovery.kept_as = damaged_name(file, stamp);
    if (rename_no_replace(file, recovery.kept_as)) break;
  }
  // A journal left beside the new file would be taken for the new file's own and played into it.
  fs::path journal = file;
  journal += "-journal";
  if (file_exists(journal)) {
    fs::path kept_journal = recovery.kept_as;
    kept_journal += "-journal";
    std::error_code error;
    fs::rename(journal, kept_journal, error);
    if (error) fs::remove(journal, error);
  }
  settings.open();
  return recovery;
}

}  // namespace vemla
