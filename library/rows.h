// Typed access to the current row of an open table through the columns of schema.h: the track row, the
// settings row and the category names read and written without a column's name as a string. Errors are the
// table engine's TableErrors (a closed table, a row not in edit mode, a library of another schema).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "schema.h"
#include "table.h"

namespace vemla {

template <typename Kind>
Field field(Table& table, Column<Kind> column) {
  return table.field_by_name(column.name);
}

// A value never written reads as false, 0 and "".
bool get(Table& table, FlagColumn column);
int get(Table& table, NumberColumn column);
std::string get(Table& table, TextColumn column);
std::string get(Table& table, MemoColumn column);
// Whether the blob holds no bytes.
bool is_empty(Table& table, BlobColumn column);

// Writes the current row, which must be in edit mode; a text longer than its column is cut.
void set(Table& table, FlagColumn column, bool value);
void set(Table& table, NumberColumn column, int value);
void set(Table& table, TextColumn column, std::string_view value);
void set(Table& table, MemoColumn column, std::string_view value);

// A cell whose value cannot be read as its column's kind: a text in a number or flag column, which this
// program never writes there (another program's work, or a damaged file's).
struct BadCell {
  std::string column;
  std::string text;   // what the cell holds
  bool flag = false;  // a flag column, else a number column
};
// What a user is told of it: the column, what it holds (cut short, control characters shown as "?"), and
// what it reads as.
std::string describe(const BadCell& cell);
// The cell's value; when it cannot be read as its column's kind, the column's empty value, with the cell
// added to `bad`. Errors of reading the table itself are thrown.
bool get_or_note(Table& table, FlagColumn column, std::vector<BadCell>& bad);
int get_or_note(Table& table, NumberColumn column, std::vector<BadCell>& bad);

// A flag of the settings row, false while the table is closed or has no row.
bool setting(Table& settings, FlagColumn column);
// The same after re-reading the table, which posts a tick the user has just made.
bool refreshed_setting(Table& settings, FlagColumn column);
// Writes a flag of the settings row (beginning the row on an empty table) and posts it; nothing while the
// table is closed.
void write_setting(Table& settings, FlagColumn column, bool value);

// The name of category k (1 ... 64); "" while the category-name table is closed or has no row.
std::string category_name(Table& categories, int k);
// The library's read-only flag as its category-name table keeps it; false without a row.
bool library_read_only(Table& categories);

}  // namespace vemla
