// The data module: the one object that owns the program's tables, and the data sources through which the
// data-aware controls of the windows follow a table's current row and write to it.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "batch_move.h"
#include "table.h"

namespace vemla {

class DataSource;

// What a data-aware control is told. Observers may use the table from inside these calls.
class DataObserver {
 public:
  virtual ~DataObserver() = default;
  // Opened, closed, edit mode entered or left.
  virtual void state_changed(DataSource&) {}
  // Another current row, or the current row re-read or written.
  virtual void row_changed(DataSource&) {}
  // A value of the current row was set.
  virtual void field_changed(DataSource&, const Field&) {}
};

class DataSource : private TableListener {
 public:
  explicit DataSource(Table& table);
  ~DataSource() override;
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  Table& table() { return table_; }
  // Controls of a source whose rows only come from elsewhere (tracks are added, never typed in) edit
  // existing rows only: on an empty table they are read-only instead of beginning a row.
  void set_rows_added_elsewhere(bool elsewhere) { rows_added_elsewhere_ = elsewhere; }
  // Whether a control may change the current row now: the table is open and writable, and has a row
  // unless rows are added elsewhere.
  bool editable() const;
  void attach(DataObserver& observer);
  void detach(DataObserver& observer);

  // What a control bound to a column does when the user changes it: put the current row into edit mode and
  // write the value; the change is posted with the table's next post or refresh.
  void write_text(std::string_view field, std::string_view text);
  void write_boolean(std::string_view field, bool value);
  void write_integer(std::string_view field, int value);

 private:
  // Edit mode for a control's change; refused on an empty table whose rows are added elsewhere.
  void begin_change();
  void table_state_changed(Table&) override;
  void table_row_changed(Table&) override;
  void table_field_changed(Table&, const Field& field) override;

  Table& table_;
  std::vector<DataObserver*> observers_;
  bool rows_added_elsewhere_ = false;
};

// The data module. Table1 is the track table of the open library, Table2 the settings table (in the per-user
// data folder, created with its defaults when missing), Table3 the category-name table; Copy1 and Copy3 are
// the destinations of batch copies of a library's tables, BatchMove1 the copier.
class Tdb {
 public:
  explicit Tdb(const std::filesystem::path& settings_location);
  Tdb();  // the settings table in settings_folder()
  ~Tdb();
  Tdb(const Tdb&) = delete;
  Tdb& operator=(const Tdb&) = delete;

  Table Table1{"Test.DB"};
  Table Table2{"reg.db"};
  Table Table3{"data1.db"};
  Table Copy1;
  Table Copy3;
  BatchMove BatchMove1;
  DataSource data{Table1};  // rows added elsewhere: by the import
  DataSource reg{Table2};
  DataSource categories{Table3};
};

// The program's data module, set by the first Tdb made and cleared when it goes.
extern Tdb* db;

}  // namespace vemla
