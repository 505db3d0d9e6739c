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
