#include "data.h"

#include <algorithm>

#include "schema.h"
#include "settings_location.h"

namespace vemla {

Tdb* db = nullptr;

DataSource::DataSource(Table& table) : table_(table) {
  table_.add_listener(*this);
}

DataSource::~DataSource() {
  table_.remove_listener(*this);
}

void DataSource::attach(DataObserver& observer) {
  observers_.push_back(&observer);
}

void DataSource::detach(DataObserver& observer) {
  std::erase(observers_, &observer);
}

bool DataSource::editable() const {
  return table_.is_open() && !table_.read_only() && !(rows_added_elsewhere_ && table_.record_count() == 0);
}

void DataSource::begin_change() {
  if (rows_added_elsewhere_ && table_.is_open() && table_.record_count() == 0 &&
      table_.state() == TableState::Browse)
    throw TableError("The table " + table_.table_name() + " has no row to change");
  table_.edit();
}

void DataSource::write_text(std::string_view field, std::string_view text) {
  Field target = table_.field_by_name(field);
  begin_change();
  target.set_text(text);
}

void DataSource::write_boolean(std::string_view field, bool value) {
  Field target = table_.field_by_name(field);
  begin_change();
  target.set_boolean(value);
}

void DataSource::write_integer(std::string_view field, int value) {
  Field target = table_.field_by_name(field);
  begin_change();
  target.set_integer(value);
}

void DataSource::table_state_changed(Table&) {
  const std::vector<DataObserver*> observers = observers_;
  for (DataObserver* observer : observers) observer->state_changed(*this);
}

void DataSource::table_row_changed(Table&) {
  const std::vector<DataObserver*> observers = observers_;
  for (DataObserver* observer : observers) observer->row_changed(*this);
}

void DataSource::table_field_changed(Table&, const Field& field) {
  const std::vector<DataObserver*> observers = observers_;
  for (DataObserver* observer : observers) observer->field_changed(*this, field);
}

Tdb::Tdb(const std::filesystem::path& settings_location) {
  Table1.set_field_order(track_field_order());
  data.set_rows_added_elsewhere(true);
  Table2.set_location(settings_location);
  Table2.set_create_when_missing(create_settings_table);
  for (Table* table : {&Table1, &Table3, &Copy1, &Copy3}) table->set_table_type(TableType::Paradox);
  if (!db) db = this;
}

Tdb::Tdb() : Tdb(settings_folder()) {}

Tdb::~Tdb() {
  if (db == this) db = nullptr;
}

}  // namespace vemla
