// Whether a file named by a track can be read, asked before it is opened for its audio.
#pragma once

#include <filesystem>
#include <string>

namespace vemla {

// Why the file cannot be read as a track's audio ("no such file", "is a folder", ...), or empty when it can.
// Only a regular file passes: opening a pipe or a device could block or never end.
std::string why_unreadable(const std::filesystem::path& file);

}  // namespace vemla
