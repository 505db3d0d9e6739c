// A small library for the window suites: made in a folder and opened in a data module as the program opens one
// (settings table first, then the track and category-name tables).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "data.h"
#include "store_support.h"

namespace vemla::test {

// Creates library "Lib" in folder with one track per title (memo "memo of TITLE") and opens it in db.
inline void open_library(Tdb& db, const std::filesystem::path& folder, const std::vector<std::string>& titles) {
  create_library(folder, "Lib");
  name_table(db.Table1, folder, "Lib.db");
  name_table(db.Table3, folder, "Lib1.db");
  db.Table2.open();
  db.Table1.open();
  for (const std::string& title : titles) append_track(db.Table1, title, "memo of " + title);
  db.Table1.first();
  db.Table3.open();
}

// The value of a column of a closed table's first row, read through a table object of its own.
inline std::string stored_value(const std::filesystem::path& folder, const std::string& table_name,
                                const std::string& column, int record = 1) {
  Table table(table_name);
  table.set_location(folder);
  table.open();
  table.first();
  if (record > 1) table.move_by(record - 1);
  return table.field_by_name(column).as_text();
}

}  // namespace vemla::test
