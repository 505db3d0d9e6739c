// How the table store turns SQLite's errors into the TableErrors the user reads: each names the file it
// concerns and says what to do.
#pragma once

#include <exception>
#include <filesystem>

namespace SQLite {
class Exception;
}

namespace vemla {

// Whether another connection holds the file (SQLITE_BUSY or SQLITE_LOCKED).
bool is_busy(const SQLite::Exception& error);

// Rethrows an error of SQLite (or any other) as a TableError that names the file.
[[noreturn]] void throw_store_error(const std::exception& error, const std::filesystem::path& file);

}  // namespace vemla
