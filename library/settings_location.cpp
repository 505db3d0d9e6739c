#include "settings_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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
    for (const char* name : {"AUTOPLAY", "CONTINUE", "READONLY", "STORAGE"})
      table.field_by_name(name).set_boolean(false);
    table.field_by_name("PRIORITY").set_integer(3);
    table.field_by_name("HINTS").set_boolean(true);
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
