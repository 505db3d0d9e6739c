// The files of one table: the table file N.db and its companion N.mb (memo and blob values), how they are
// made under scratch names and renamed into place, how they are removed, and the lock that keeps a table
// another program has open from being replaced or removed.
#pragma once

#include <SQLiteCpp/Database.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "schema.h"

namespace vemla {

struct TablePaths {
  std::filesystem::path table;      // N.db
  std::filesystem::path companion;  // N.mb
};
// The companion of a table file: the same name with the extension ".mb" (".MB" beside ".DB").
std::filesystem::path companion_of(const std::filesystem::path& table_file);

// The name of the column at position in the table file's SQL table "rows" (memo and blob columns excepted).
std::string row_column(int position);

// How long an open waits for another program that has the table before it reports the table in use.
std::chrono::milliseconds lock_wait();
void set_lock_wait(std::chrono::milliseconds wait);

// Creates the files of a new, empty table (built under temporary names, then renamed into place); an error
// when the table file exists already.
void create_table_files(const TablePaths& paths, const std::vector<ColumnDef>& columns);
// Removes a table file, its companion and their journals, together (staged_files.h); an error when the table
// does not exist or another connection has it open.
void delete_table_files(const TablePaths& paths);

// Whether the file exists; false also when that cannot be told (the open that follows reports why).
bool file_exists(const std::filesystem::path& file);

// Renames a file unless the target exists; false when it does.
bool rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to);

// What the table store's own units share.

// Every table file and companion carries the application id in its SQLite header, and the version of its
// layout as the user version.
constexpr int kTableApplicationId = 0x566D6C61;  // "Vmla"
constexpr int kTableFormatVersion = 1;

// A new random token. A table file and its companion carry the same one, so that a companion put beside
// another table (a copy's, say) is told from its own.
std::string random_token();
void set_pair_token(const std::filesystem::path& file, const std::string& token);

// A name beside the file for building it before it is renamed into place: ".NAME.new-PID-N", which a settle
// of the folder removes once process PID is gone (staged_files.h).
std::filesystem::path scratch_name(const std::filesystem::path& file);

void remove_quietly(const std::filesystem::path& file);

// A TableError when the folder of the table file does not exist.
void check_folder(const std::filesystem::path& table_file);

// The lock an open takes, taken on an existing table file so that a table another program has open is
// neither replaced nor removed while it is held; taking it rolls back what a killed writer left half-written.
// No connection when the file is no table at all (it goes all the same).
struct ExistingTable {
  std::unique_ptr<SQLite::Database> db;
  bool has_companion = true;  // when unknown, the companion goes with the table
};
// A TableError when another program has the table.
ExistingTable lock_existing(const std::filesystem::path& table_file);

}  // namespace vemla
