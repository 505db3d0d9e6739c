// The column lists of the program's three tables (track, category names, settings), the column types of the
// table engine, and the rule that cuts a text to its column's width.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vemla {

// string n: at most n characters; smallint: signed 16 bits; integer: signed 32 bits; memo: text of any
// length; blob: bytes of any length. Memo and blob values are kept in the table's companion ".mb" file.
enum class ColumnType { String, SmallInt, Integer, Boolean, Memo, Blob };

struct ColumnDef {
  std::string name;
  ColumnType type = ColumnType::String;
  int size = 0;  // characters, for String only
};

// A stored value: null, an integer (booleans are 0 and 1) or a text. A blob is represented by its size.
using Value = std::variant<std::monostate, int64_t, std::string>;

// Memo and blob columns live in the companion file, every other column in the table file itself.
inline bool stored_apart(ColumnType type) {
  return type == ColumnType::Memo || type == ColumnType::Blob;
}

// The names under which the types are recorded in a table file ("string", "smallint", ...).
std::string_view type_name(ColumnType type);
// The type of a recorded name; false when the name is unknown.
bool type_from_name(std::string_view name, ColumnType& type);

// The width of PAD in a new track table.
constexpr int kPadWidth = 4096;
// The width of TITLE, ARTIST and ALBUM in a new track table; tables made with 40 keep their width.
constexpr int kTagTextWidth = 255;

// The track table's columns in the order a new track table is created.
std::vector<ColumnDef> track_columns();
// The data module's listing of the track table, the order of positional access: C1 ... C64 first.
std::vector<std::string> track_field_order();
// The category-name table: C1 ... C64 (40 characters each), then READONLY.
std::vector<ColumnDef> category_columns();
// The settings table "reg.db".
std::vector<ColumnDef> settings_columns();

// The table files of a library with base name N: the track table N.db (its memo and blob values in N.mb) and
// the category-name table N1.db, the digit 1 appended even to a base name that ends in one (Set1: Set11.db).
struct LibraryTables {
  std::string tracks;
  std::string categories;
};
LibraryTables library_tables(std::string_view base_name);

// The text cut to its first `chars` characters (UTF-8 code points); a multi-byte sequence is never split.
std::string cut_text(std::string_view text, int chars);

}  // namespace vemla
