// Where the settings table lives: the per-user data folder, not the folder the program starts in.
#pragma once

#include <filesystem>

namespace vemla {

// $VEMLA_HOME; else $XDG_DATA_HOME/vemla (only an absolute XDG_DATA_HOME counts, as the XDG base directory
// rules have it); else ~/.local/share/vemla.
std::filesystem::path settings_folder();

// Creates the settings table with its one row of defaults (AUTOPLAY, CONTINUE, READONLY, STORAGE false,
// PRIORITY 3, HINTS true), and its folder when missing. Built under another name and renamed into place, so
// that a table appears only whole; when another program made it meanwhile, that one is kept.
void create_settings_table(const std::filesystem::path& file);

}  // namespace vemla
