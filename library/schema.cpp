#include "schema.h"

#include <array>

namespace vemla {

namespace {

ColumnDef string_column(std::string name, int size) {
  return {std::move(name), ColumnType::String, size};
}
ColumnDef column(std::string name, ColumnType type) {
  return {std::move(name), type, 0};
}

constexpr std::array<std::string_view, 6> kTypeNames = {"string",  "smallint", "integer",
                                                        "boolean", "memo",     "blob"};

}  // namespace

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
  std::vector<ColumnDef> columns = {
      column("DATA", ColumnType::Blob),
      string_column("VERSION", 11),
      string_column("LAYER", 4),
      string_column("BITRATE", 12),
      string_column("SAMPLERATE", 9),
      string_column("MODE", 15),
      column("CHECKSUMS", ColumnType::SmallInt),
      column("TRACKTOTAL", ColumnType::Integer),
      column("FRAMETOTAL", ColumnType::Integer),
      column("COPYRIGHT", ColumnType::Boolean),
      column("ORIGINAL", ColumnType::Boolean),
      // Wide enough for the texts of version 2 tags, which cutting at 40 characters lost without a word.
      string_column("TITLE", kTagTextWidth),
      string_column("ARTIST", kTagTextWidth),
      string_column("ALBUM", kTagTextWidth),
      column("SKIP", ColumnType::Boolean),
      column("MEMO", ColumnType::Memo),
  };
  for (int k = 1; k <= 64; ++k) columns.push_back(column("C" + std::to_string(k), ColumnType::Boolean));
  // Wide enough for any path (PATH_MAX); track tables made with 120 keep their width, which governs cutting.
  columns.push_back(string_column("PAD", kPadWidth));
  columns.push_back(column("KEY", ColumnType::Integer));
  return columns;
}

std::vector<std::string> track_field_order() {
  std::vector<std::string> order;
  for (int k = 1; k <= 64; ++k) order.push_back("C" + std::to_string(k));
  for (const char* name :
       {"PAD", "MEMO", "SKIP", "ALBUM", "ARTIST", "TITLE", "ORIGINAL", "COPYRIGHT", "FRAMETOTAL",
        "TRACKTOTAL", "CHECKSUMS", "MODE", "SAMPLERATE", "BITRATE", "LAYER", "VERSION", "DATA", "KEY"}) {
    order.emplace_back(name);
  }
  return order;
}

std::vector<ColumnDef> category_columns() {
  std::vector<ColumnDef> columns;
  for (int k = 1; k <= 64; ++k) columns.push_back(string_column("C" + std::to_string(k), 40));
  columns.push_back(column("READONLY", ColumnType::Boolean));
  return columns;
}

std::vector<ColumnDef> settings_columns() {
  return {
      string_column("NAME", 80),
      string_column("CODE", 80),
      column("AUTOPLAY", ColumnType::Boolean),
      column("CONTINUE", ColumnType::Boolean),
      column("READONLY", ColumnType::Boolean),
      column("STORAGE", ColumnType::Boolean),
      column("PRIORITY", ColumnType::SmallInt),
      column("HINTS", ColumnType::Boolean),
      column("X", ColumnType::SmallInt),
      column("Y", ColumnType::SmallInt),
      column("DX", ColumnType::SmallInt),
      column("DY", ColumnType::SmallInt),
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
