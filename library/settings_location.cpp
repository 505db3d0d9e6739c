#include "settings_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "rows.h"
#include "schema.h"
#include "store.h"
#include "table.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

const char* environment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

fs::path home_folder() {
  if (const char* home = environment("HOME")) return home;
  if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) return user->pw_dir;
  return ".";
}

}  // namespace

fs::path settings_folder() {
  if (const char* home = environment("VEMLA_HOME")) return home;
  if (const char* data = environment("XDG_DATA_HOME"); data && fs::path(data).is_absolute()) {
    return fs::path(data) / "vemla";
  }
  return home_folder() / ".local" / "share" / "vemla";
}

void create_settings_table(const fs::path& file) {
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw TableError("Cannot create the folder " + folder.string() + ": " + error.message());
  const std::string scratch = "." + file.stem().string() + "-new-" + std::to_string(::getpid()) + ".db";
  Table table(scratch);
  table.set_location(folder);
  try {
    table.create_table(settings_columns());
    table.open();
    table.append();
    using S = SettingsTable;
    for (FlagColumn flag : {S::autoplay, S::nonstop, S::read_only, S::storage}) set(table, flag, false);
    set(table, S::priority, 3);
    set(table, S::hints, true);
    table.post();
    table.close();
    if (!rename_no_replace(folder / scratch, file)) table.delete_table();
  } catch (...) {
    table.close();
    std::error_code ignored;
    fs::remove(folder / scratch, ignored);
    throw;
  }
}

}  // namespace vemla
