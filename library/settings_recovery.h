// Opening the settings table at start. A settings file that cannot be used (not a table, damaged, unreadable,
// lacking a column or its one row) must not keep the program from starting: it is put aside under another name,
// kept for the user, and a new table with the defaults takes its place.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vemla {

class Table;

// What was wrong with the settings file and where it went.
struct SettingsRecovery {
  std::string problem;             // the table engine's text
  std::filesystem::path kept_as;   // the damaged file, renamed beside the new one
};

// Opens `settings`, a closed table named as the data module names the settings table and created with its
// defaults when missing. Returns nothing when the table opened as it was. A file that cannot be used is
// renamed to NAME.damaged-YYYYMMDD-HHMMSS (its journal with it, which would otherwise be played into the new
// file) and the table is opened again, new. A table in use by another program is no damage: that error is
// thrown and the file left alone, as is any error of the second open. User-interface thread only.
std::optional<SettingsRecovery> open_settings_table(Table& settings);

// The name the damaged file `file` gets: FILE.damaged-STAMP, with -2, -3 ... added when that name is taken.
std::filesystem::path damaged_name(const std::filesystem::path& file, const std::string& stamp);

}  // namespace vemla
