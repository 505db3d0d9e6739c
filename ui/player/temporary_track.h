// The file a track stored in the library plays from while it plays: "$$$$$$$$.mp3" in the user's private
// runtime folder, written anew for every start so that no other user (and no link planted there) can make
// the program write elsewhere or play someone else's file.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace vemla {

class Field;

// The file's path in the per-user runtime folder ($XDG_RUNTIME_DIR, else the fallback Qt makes), or empty
// when that folder is missing or is not a folder of this user's that only this user can enter. A stored
// track that follows the one playing without a break gets a file of its own, `n` (1, 2, ...):
// "$$$$$$$$-n.mp3".
std::filesystem::path temporary_track_path(unsigned n = 0);

// Removes whatever has the file's name (a link itself, never its target), then creates the file exclusively,
// without following links, with mode 0600, and writes the blob of `data` into it (`save` writes the audio
// into the path it is given). Empty on success, else the reason; a half-written file is removed.
std::string write_temporary_track(const Field& data, const std::filesystem::path& file);
std::string write_temporary_track(const std::function<void(const std::filesystem::path&)>& save,
                                  const std::filesystem::path& file);

}  // namespace vemla
