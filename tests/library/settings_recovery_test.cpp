// Opening the settings table at start: a missing one is made, a damaged or unreadable one is kept aside and
// replaced by the defaults, and one in use by another program is left alone.
#include "settings_recovery.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "data.h"
#include "settings_location.h"
#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

class SettingsRecoveryTest : public ::testing::Test {
 protected:
  fs::path file() const { return dir / "reg.db"; }

  // A settings table made from the given columns, with one row unless told otherwise.
  void make_table(std::vector<ColumnDef> columns, bool with_row = true) {
    Table table("reg.db");
    table.set_location(dir.path());
    table.create_table(columns);
    if (!with_row) return;
    table.open();
    table.append();
    table.field_by_position(0).set_text("x");
    table.post();
  }

  void expect_defaults(Table& settings) {
    ASSERT_TRUE(settings.is_open());
    ASSERT_EQ(settings.record_count(), 1);
    EXPECT_TRUE(settings.field_by_name("HINTS").as_boolean());
    EXPECT_EQ(settings.field_by_name("PRIORITY").as_integer(), 3);
    EXPECT_FALSE(settings.field_by_name("STORAGE").as_boolean());
  }

  test::TempDir dir;
  Tdb data{dir.path()};
};

TEST_F(SettingsRecoveryTest, MissingTableIsMadeWithTheDefaults) {
  EXPECT_FALSE(open_settings_table(data.Table2).has_value());
  expect_defaults(data.Table2);
  // An open table is left as it is.
  EXPECT_FALSE(open_settings_table(data.Table2).has_value());
}

TEST_F(SettingsRecoveryTest, DamagedFileIsKeptAsideAndLeavesNoJournal) {
  test::write_text(file(), std::string(5000, 'z'));
  test::write_text(dir / "reg.db-journal", "left by a crash");
  const auto recovery = open_settings_table(data.Table2);
  ASSERT_TRUE(recovery.has_value());
  EXPECT_NE(recovery->problem.find("not a table file"), std::string::npos) << recovery->problem;
  EXPECT_TRUE(std::regex_match(recovery->kept_as.filename().string(),
                               std::regex(R"(reg\.db\.damaged-\d{8}-\d{6})")))
      << recovery->kept_as;
  EXPECT_EQ(test::file_text(recovery->kept_as), std::string(5000, 'z'));
  EXPECT_FALSE(fs::exists(dir / "reg.db-journal")) << "no journal for the new table to take as its own";
  expect_defaults(data.Table2);
}

TEST_F(SettingsRecoveryTest, TablesThatCannotServeAsSettingsAreReplaced) {
  const std::vector<ColumnDef> all = settings_columns();
  struct Case {
    const char* what;
    std::function<void()> make;
    const char* problem;
  };
  std::vector<ColumnDef> without_hints = all, wrong_type = all;
  std::erase_if(without_hints, [](const ColumnDef& column) { return column.name == "HINTS"; });
  for (ColumnDef& column : wrong_type)
    if (column.name == "PRIORITY") column = {"PRIORITY", ColumnType::String, 10};
  const Case cases[] = {
      {"a column missing", [&] { make_table(without_hints); }, "has no field HINTS"},
      {"a column of another type", [&] { make_table(wrong_type); }, "PRIORITY"},
      {"no row", [&] { make_table(all, false); }, "has no row"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    data.Table2.close();
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove(entry.path());
    c.make();
    const auto recovery = open_settings_table(data.Table2);
    ASSERT_TRUE(recovery.has_value());
    EXPECT_NE(recovery->problem.find(c.problem), std::string::npos) << recovery->problem;
    EXPECT_TRUE(fs::exists(recovery->kept_as));
    expect_defaults(data.Table2);
  }
}

TEST_F(SettingsRecoveryTest, UnreadableFileIsKeptAside) {
  // Something that cannot be read as a file at all stands where the table should be.
  fs::create_directory(file());
  test::write_text(file() / "inside", "kept");
  const auto recovery = open_settings_table(data.Table2);
  ASSERT_TRUE(recovery.has_value());
  EXPECT_EQ(test::file_text(recovery->kept_as / "inside"), "kept");
  expect_defaults(data.Table2);
}

TEST_F(SettingsRecoveryTest, TableInUseIsNoDamage) {
  const auto saved_wait = lock_wait();
  set_lock_wait(std::chrono::milliseconds(20));
  Table other("reg.db");
  other.set_location(dir.path());
  create_settings_table(file());
  other.open();
  EXPECT_THROW(open_settings_table(data.Table2), TableError);
  EXPECT_FALSE(data.Table2.is_open());
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
  // Once the other program lets go, the same table opens.
  other.close();
  EXPECT_FALSE(open_settings_table(data.Table2).has_value());
  set_lock_wait(saved_wait);
}

TEST_F(SettingsRecoveryTest, DamagedNamesNeverReplaceAKeptFile) {
  test::write_text(dir / "reg.db.damaged-20240101-120000", "first");
  test::write_text(dir / "reg.db.damaged-20240101-120000-2", "second");
  EXPECT_EQ(damaged_name(file(), "20240101-120000"), dir / "reg.db.damaged-20240101-120000-3");
  EXPECT_EQ(damaged_name(file(), "20240101-120001"), dir / "reg.db.damaged-20240101-120001");
}

}  // namespace
}  // namespace vemla
