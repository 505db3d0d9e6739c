#include "rows.h"

namespace vemla {

bool get(Table& table, FlagColumn column) {
  return field(table, column).as_boolean();
}

int get(Table& table, NumberColumn column) {
  return field(table, column).as_integer();
}

std::string get(Table& table, TextColumn column) {
  return field(table, column).as_text();
}

std::string get(Table& table, MemoColumn column) {
  return field(table, column).as_text();
}

bool is_empty(Table& table, BlobColumn column) {
  return field(table, column).is_empty();
}

void set(Table& table, FlagColumn column, bool value) {
  field(table, column).set_boolean(value);
}

void set(Table& table, NumberColumn column, int value) {
  field(table, column).set_integer(value);
}

void set(Table& table, TextColumn column, std::string_view value) {
  field(table, column).set_text(value);
}

void set(Table& table, MemoColumn column, std::string_view value) {
  field(table, column).set_text(value);
}

namespace {

// Reads through `read`; a value that does not convert is noted with what the cell holds.
template <typename T, typename Read>
T read_or_note(Table& table, std::string_view column, bool flag, std::vector<BadCell>& bad, Read read) {
  const Field cell = table.field_by_name(column);
  try {
    return read(cell);
  } catch (const TableError&) {
    // A cell the store cannot read at all fails again here, and that error is the one thrown.
    bad.push_back({std::string(column), cell.as_text(), flag});
    return T{};
  }
}

}  // namespace

std::string describe(const BadCell& cell) {
  std::string shown = cut_text(cell.text, 40);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  if (shown.size() < cell.text.size()) shown += "...";
  return cell.column + " holds \"" + shown + "\", " +
         (cell.flag ? "which is no yes or no (read as No)" : "which is no number (read as 0)");
}

bool get_or_note(Table& table, FlagColumn column, std::vector<BadCell>& bad) {
  return read_or_note<bool>(table, column.name, true, bad,
                            [](const Field& cell) { return cell.as_boolean(); });
}

int get_or_note(Table& table, NumberColumn column, std::vector<BadCell>& bad) {
  return read_or_note<int>(table, column.name, false, bad,
                           [](const Field& cell) { return cell.as_integer(); });
}

bool setting(Table& settings, FlagColumn column) {
  return settings.is_open() && settings.record_count() > 0 && get(settings, column);
}

bool refreshed_setting(Table& settings, FlagColumn column) {
  if (!settings.is_open()) return false;
  settings.refresh();
  return setting(settings, column);
}

void write_setting(Table& settings, FlagColumn column, bool value) {
  if (!settings.is_open()) return;
  settings.edit();  // on a table without a row this begins the settings row
  set(settings, column, value);
  settings.refresh();
}

std::string category_name(Table& categories, int k) {
  if (!categories.is_open() || categories.record_count() == 0) return {};
  return get(categories, CategoryTable::name(k));
}

bool library_read_only(Table& categories) {
  return get(categories, CategoryTable::read_only);
}

}  // namespace vemla
