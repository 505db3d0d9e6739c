#include "schema.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

namespace vemla {

namespace {

ColumnDef string_column(TextColumn column, int size) {
  return {std::string(column.name), ColumnType::String, size};
}
template <typename Kind>
ColumnDef column(Column<Kind> column, ColumnType type) {
  return {std::string(column.name), type, 0};
}

// "C1" ... "C64": the flags of the track table and the names of the category-name table share their names.
const std::string& category_column_name(int k) {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (int i = 1; i <= 64; ++i) list.push_back("C" + std::to_string(i));
    return list;
  }();
  if (k < 1 || k > 64) throw std::out_of_range("no category " + std::to_string(k));
  return names[static_cast<size_t>(k - 1)];
}

constexpr std::array<std::string_view, 6> kTypeNames = {"string",  "smallint", "integer",
                                                        "boolean", "memo",     "blob"};

}  // namespace

FlagColumn TrackTable::category(int k) {
  return {category_column_name(k)};
}

int TrackTable::category_of(std::string_view column_name) {
  for (int k = 1; k <= 64; ++k) {
    const std::string& name = category_column_name(k);
    if (name.size() == column_name.size() &&
        std::equal(name.begin(), name.end(), column_name.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        }))
      return k;
  }
  return 0;
}

TextColumn CategoryTable::name(int k) {
  return {category_column_name(k)};
}

std::string_view type_name(ColumnType type) {
  return kTypeNames[static_cast<size_t>(type)];
}

bool type_from_name(std::string_view name, ColumnType& type) {
  for (size_t i = 0; i < kTypeNames.size(); ++i) {
    if (kTypeNames[i] == name) {
      type = static_cast<ColumnType>(i);
      return true;
    }
  }
  return false;
}

std::vector<ColumnDef> track_columns() {
  using T = TrackTable;
  std::vector<ColumnDef> columns = {
      column(T::data, ColumnType::Blob),
      string_column(T::version, 11),
      string_column(T::layer, 4),
      string_column(T::bitrate, 12),
      string_column(T::samplerate, 9),
      string_column(T::mode, 15),
      column(T::checksums, ColumnType::SmallInt),
      column(T::tracktotal, ColumnType::Integer),
      column(T::frametotal, ColumnType::Integer),
      column(T::copyright, ColumnType::Boolean),
      column(T::original, ColumnType::Boolean),
      // Wide enough for the texts of version 2 tags, which cutting at 40 characters lost without a word.
      string_column(T::title, kTagTextWidth),
      string_column(T::artist, kTagTextWidth),
      string_column(T::album, kTagTextWidth),
      column(T::skip, ColumnType::Boolean),
      column(T::memo, ColumnType::Memo),
  };
  for (int k = 1; k <= 64; ++k) columns.push_back(column(T::category(k), ColumnType::Boolean));
  // Wide enough for any path (PATH_MAX); track tables made with 120 keep their width, which governs cutting.
  columns.push_back(string_column(T::pad, kPadWidth));
  columns.push_back(column(T::key, ColumnType::Integer));
  return columns;
}

std::vector<std::string> track_field_order() {
  using T = TrackTable;
  std::vector<std::string> order;
  for (int k = 1; k <= 64; ++k) order.emplace_back(T::category(k).name);
  for (std::string_view name : {T::pad.name, T::memo.name, T::skip.name, T::album.name, T::artist.name,
                                T::title.name, T::original.name, T::copyright.name, T::frametotal.name,
                                T::tracktotal.name, T::checksums.name, T::mode.name, T::samplerate.name,
                                T::bitrate.name, T::layer.name, T::version.name, T::data.name, T::key.name}) {
    order.emplace_back(name);
  }
  return order;
}

std::vector<ColumnDef> category_columns() {
  std::vector<ColumnDef> columns;
  for (int k = 1; k <= 64; ++k) columns.push_back(string_column(CategoryTable::name(k), 40));
  columns.push_back(column(CategoryTable::read_only, ColumnType::Boolean));
  return columns;
}

std::vector<ColumnDef> settings_columns() {
  using S = SettingsTable;
  return {
      string_column(S::name, 80),
      string_column(S::code, 80),
      column(S::autoplay, ColumnType::Boolean),
      column(S::nonstop, ColumnType::Boolean),
      column(S::read_only, ColumnType::Boolean),
      column(S::storage, ColumnType::Boolean),
      column(S::priority, ColumnType::SmallInt),
      column(S::hints, ColumnType::Boolean),
      column(S::x, ColumnType::SmallInt),
      column(S::y, ColumnType::SmallInt),
      column(S::dx, ColumnType::SmallInt),
      column(S::dy, ColumnType::SmallInt),
  };
}

LibraryTables library_tables(std::string_view base_name) {
  const std::string base(base_name);
  return {base + ".db", base + "1.db"};
}

std::string cut_text(std::string_view text, int chars) {
  // A character starts at every byte that is not a UTF-8 continuation byte (10xxxxxx, RFC 3629 section 3);
  // cutting before the start of character chars + 1 keeps whole sequences. Stray continuation bytes stay
  // with the character before them.
  int seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) {
      if (seen == chars) return std::string(text.substr(0, i));
      ++seen;
    }
  }
  return std::string(text);
}

}  // namespace vemla
