// The data module, its data sources and the settings table in the per-user data folder.
#include "data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <utility>

#include "settings_location.h"
#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one test and puts the old values back.
class Environment {
 public:
  ~Environment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void set(const std::string& name, const char* value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      ::setenv(name.c_str(), value, 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(SettingsLocation, FollowsTheEnvironment) {
  Environment environment;
  environment.set("HOME", "/home/someone");
  environment.set("VEMLA_HOME", "/opt/vemla-data");
  environment.set("XDG_DATA_HOME", "/xdg");
  EXPECT_EQ(settings_folder(), fs::path("/opt/vemla-data"));
  environment.set("VEMLA_HOME", "");
  EXPECT_EQ(settings_folder(), fs::path("/xdg/vemla"));
  environment.set("XDG_DATA_HOME", "relative/data");  // not absolute: ignored
  EXPECT_EQ(settings_folder(), fs::path("/home/someone/.local/share/vemla"));
  environment.set("XDG_DATA_HOME", nullptr);
  environment.set("VEMLA_HOME", nullptr);
  EXPECT_EQ(settings_folder(), fs::path("/home/someone/.local/share/vemla"));
}

void expect_defaults(Table& settings) {
  EXPECT_EQ(settings.record_count(), 1);
  for (const char* name : {"AUTOPLAY", "CONTINUE", "READONLY", "STORAGE"}) {
    EXPECT_FALSE(settings.field_by_name(name).as_boolean()) << name;
  }
  EXPECT_EQ(settings.field_by_name("PRIORITY").as_integer(), 3);
  EXPECT_TRUE(settings.field_by_name("HINTS").as_boolean());
  EXPECT_TRUE(settings.field_by_name("NAME").is_empty());
  EXPECT_TRUE(settings.field_by_name("X").is_empty());
}

TEST(Settings, FirstStartCreatesTheTableWithOneRowOfDefaults) {
  test::TempDir dir;
  const fs::path folder = dir / "data" / "vemla";  // neither folder exists yet
  {
    Tdb data_module(folder);
    data_module.Table2.open();
    expect_defaults(data_module.Table2);
    ASSERT_EQ(data_module.Table2.columns().size(), settings_columns().size());
    EXPECT_EQ(data_module.Table2.columns()[6].name, "PRIORITY");
    EXPECT_EQ(data_module.Table2.columns()[6].type, ColumnType::SmallInt);
    data_module.Table2.edit();
    data_module.Table2.field_by_name("HINTS").set_boolean(false);
    data_module.Table2.refresh();
  }
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().filename());
  EXPECT_EQ(files, std::vector<std::string>{"reg.db"});
  // The next start finds the table and keeps what was stored.
  Tdb data_module(folder);
  data_module.Table2.open();
  EXPECT_EQ(data_module.Table2.record_count(), 1);
  EXPECT_FALSE(data_module.Table2.field_by_name("HINTS").as_boolean());
}

TEST(Settings, TheDataModuleFindsTheTableInTheUsersDataFolder) {
  test::TempDir dir;
  Environment environment;
  environment.set("VEMLA_HOME", dir.path().c_str());
  Tdb data_module;
  data_module.Table2.open();
  EXPECT_TRUE(fs::exists(dir / "reg.db"));
  expect_defaults(data_module.Table2);
}

TEST(Settings, AnEditOfAnEmptySettingsTableBeginsItsFirstRow) {
  test::TempDir dir;
  Table empty("reg.db");
  empty.set_location(dir.path());
  empty.create_table(settings_columns());
  Tdb data_module(dir.path());
  Table& settings = data_module.Table2;
  settings.open();
  EXPECT_EQ(settings.record_count(), 0);  // an existing table is used as it is
  EXPECT_FALSE(settings.field_by_name("AUTOPLAY").as_boolean());
  settings.edit();
  settings.field_by_name("AUTOPLAY").set_boolean(true);
  settings.refresh();
  EXPECT_EQ(settings.record_count(), 1);
  EXPECT_TRUE(settings.field_by_name("AUTOPLAY").as_boolean());
}

TEST(DataModule, OwnsTheTablesUnderTheirDefaultNames) {
  test::TempDir dir;
  {
    Tdb data_module(dir.path());
    EXPECT_EQ(db, &data_module);
    EXPECT_EQ(data_module.Table1.table_name(), "Test.DB");
    EXPECT_EQ(data_module.Table3.table_name(), "data1.db");
    EXPECT_EQ(data_module.Table2.table_name(), "reg.db");
    EXPECT_FALSE(data_module.Table1.is_open() || data_module.Table2.is_open() ||
                 data_module.Table3.is_open());
    EXPECT_EQ(&data_module.data.table(), &data_module.Table1);
    EXPECT_EQ(&data_module.reg.table(), &data_module.Table2);
    EXPECT_EQ(&data_module.categories.table(), &data_module.Table3);
  }
  EXPECT_EQ(db, nullptr);
}

// A library's whole life through the data module: create, open, copy, move away and delete.
TEST(DataModule, CreatesCopiesAndDeletesALibrary) {
  test::TempDir dir;
  fs::create_directory(dir / "lib");
  fs::create_directory(dir / "copy");
  Tdb data_module(dir.path());
  Table& tracks = data_module.Table1;
  Table& names = data_module.Table3;
  test::name_table(tracks, dir / "lib", "Set.db");
  tracks.create_table(track_columns());
  test::name_table(names, dir / "lib", "Set1.db");
  names.create_table(category_columns());
  tracks.open();
  names.open();
  test::append_track(tracks, "one");
  tracks.edit();
  tracks.field_by_position(2).set_boolean(true);  // category 3
  tracks.refresh();
  names.edit();
  names.field_by_name("C3").set_text("Blues");
  names.refresh();
  tracks.close();
  names.close();

  test::name_table(data_module.Copy1, dir / "copy", "Set.db");
  test::name_table(data_module.Copy3, dir / "copy", "Set1.db");
  data_module.BatchMove1.copy(tracks, data_module.Copy1);
  data_module.BatchMove1.copy(names, data_module.Copy3);
  tracks.delete_table();
  names.delete_table();
  EXPECT_TRUE(fs::is_empty(dir / "lib"));

  tracks.set_location(dir / "copy");
  names.set_location(dir / "copy");
  tracks.open();
  names.open();
  EXPECT_EQ(test::title(tracks), "one");
  EXPECT_TRUE(tracks.field_by_name("C3").as_boolean());
  EXPECT_EQ(names.field_by_name("C3").as_text(), "Blues");
}

class Recorder : public DataObserver {
 public:
  void state_changed(DataSource& source) override {
    events.push_back(std::string("state ") +
                     (source.table().is_open() ? state_name(source.table().state()) : "closed"));
  }
  void row_changed(DataSource& source) override {
    events.push_back("row " + std::to_string(source.table().record_number()));
  }
  void field_changed(DataSource&, const Field& field) override { events.push_back("field " + field.name()); }
  std::vector<std::string> take() { return std::exchange(events, {}); }
  std::vector<std::string> events;

 private:
  static const char* state_name(TableState state) {
    switch (state) {
      case TableState::Edit:
        return "edit";
      case TableState::Insert:
        return "insert";
      default:
        return "browse";
    }
  }
};

TEST(DataSource, TellsObserversOfStateRowAndValueChanges) {
  test::TempDir dir;
  test::create_library(dir.path(), "Obs");
  Tdb data_module(dir.path());
  Table& tracks = data_module.Table1;
  test::name_table(tracks, dir.path(), "Obs.db");
  tracks.open();
  for (const char* name : {"a", "b", "c"}) test::append_track(tracks, name);
  tracks.close();

  Recorder recorder;
  data_module.data.attach(recorder);
  tracks.open();
  EXPECT_EQ(recorder.take(), (std::vector<std::string>{"state browse", "row 1"}));
  tracks.next();
  tracks.move_by(5);
  EXPECT_EQ(recorder.take(), (std::vector<std::string>{"row 2", "row 3"}));
  tracks.move_by(1);  // already at the end: no move, no event
  EXPECT_TRUE(recorder.take().empty());

  data_module.data.write_text("TITLE", "C changed");  // a control bound to TITLE
  EXPECT_EQ(recorder.take(), (std::vector<std::string>{"state edit", "field TITLE"}));
  data_module.data.write_boolean("SKIP", true);  // already in edit mode
  EXPECT_EQ(recorder.take(), std::vector<std::string>{"field SKIP"});
  tracks.refresh();
  EXPECT_EQ(recorder.take(), (std::vector<std::string>{"state browse", "row 3", "row 3"}));
  EXPECT_EQ(test::title(tracks), "C changed");
  EXPECT_TRUE(tracks.field_by_name("SKIP").as_boolean());

  tracks.append();
  EXPECT_EQ(recorder.take(), (std::vector<std::string>{"state insert", "row 4"}));
  tracks.first();  // the untouched new row is dropped, back to the row before, then to the first
  EXPECT_EQ(recorder.take(), (std::vector<std::string>{"state browse", "row 3", "row 1"}));
  tracks.close();
  EXPECT_EQ(recorder.take(), std::vector<std::string>{"state closed"});
  data_module.data.detach(recorder);
  tracks.open();
  EXPECT_TRUE(recorder.events.empty());
}

TEST(DataSource, AControlCannotWriteToAReadOnlyTable) {
  test::TempDir dir;
  test::create_library(dir.path(), "Ro");
  Tdb data_module(dir.path());
  Table& tracks = data_module.Table1;
  test::name_table(tracks, dir.path(), "Ro.db");
  tracks.open();
  test::append_track(tracks, "fixed");
  tracks.close();
  tracks.set_read_only(true);
  tracks.open();
  EXPECT_THROW(data_module.data.write_text("TITLE", "changed"), TableError);
  EXPECT_THROW(data_module.data.write_boolean("C1", true), TableError);
  EXPECT_EQ(tracks.state(), TableState::Browse);
  tracks.refresh();
  EXPECT_EQ(test::title(tracks), "fixed");
  EXPECT_FALSE(tracks.field_by_name("C1").as_boolean());
}

}  // namespace
}  // namespace vemla
