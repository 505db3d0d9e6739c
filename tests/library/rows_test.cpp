// The typed columns and the accessors of the current row: the same cells as the engine's names and
// positions, and the settings and category rows read sensibly before they have a row.
#include "rows.h"

#include <gtest/gtest.h>

#include "data.h"
#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

TEST(TypedRows, ReachTheCellsOfTheEnginesNamesAndPositions) {
  test::TempDir dir;
  Table tracks;
  tracks.set_field_order(track_field_order());
  test::open_new_library(tracks, dir.path(), "Lib");
  tracks.append();
  const std::string title(kTagTextWidth, 't');
  set(tracks, TrackTable::title, title + " and more than its column holds");
  set(tracks, TrackTable::checksums, 1);
  set(tracks, TrackTable::skip, true);
  set(tracks, TrackTable::memo, "a memo");
  for (int k : {1, 17, 64}) set(tracks, TrackTable::category(k), true);
  tracks.post();

  EXPECT_EQ(get(tracks, TrackTable::title), title);
  EXPECT_EQ(tracks.field_by_name("CHECKSUMS").as_integer(), 1);
  EXPECT_TRUE(get(tracks, TrackTable::skip));
  EXPECT_EQ(get(tracks, TrackTable::memo), "a memo");
  EXPECT_TRUE(is_empty(tracks, TrackTable::data));
  for (int k = 1; k <= 64; ++k) {
    const bool expected = k == 1 || k == 17 || k == 64;
    EXPECT_EQ(tracks.field_by_position(k - 1).as_boolean(), expected) << k;
    EXPECT_EQ(get(tracks, TrackTable::category(k)), expected) << k;
  }
  EXPECT_EQ(TrackTable::category_of("c17"), 17);
  EXPECT_EQ(TrackTable::category_of("C65"), 0);
  EXPECT_EQ(TrackTable::category_of("CHECKSUMS"), 0);
  EXPECT_THROW(TrackTable::category(65), std::out_of_range);
}

TEST(TypedRows, SettingsAndCategoryNamesBeforeTheirFirstRow) {
  test::TempDir dir;
  test::create_library(dir.path(), "Lib");
  Table categories;
  test::name_table(categories, dir.path(), "Lib1.db");
  EXPECT_EQ(category_name(categories, 3), "");  // closed
  categories.open();
  EXPECT_EQ(category_name(categories, 3), "");  // no row yet
  EXPECT_FALSE(library_read_only(categories));
  categories.edit();
  set(categories, CategoryTable::name(3), "Jazz");
  categories.post();
  EXPECT_EQ(category_name(categories, 3), "Jazz");

  Table settings("reg.db");
  settings.set_location(dir.path());
  settings.create_table(settings_columns());
  EXPECT_FALSE(setting(settings, SettingsTable::autoplay));  // closed
  write_setting(settings, SettingsTable::autoplay, true);     // nothing while closed
  settings.open();
  EXPECT_FALSE(setting(settings, SettingsTable::autoplay));  // no row yet
  write_setting(settings, SettingsTable::autoplay, true);     // begins the row
  settings.close();
  settings.open();
  EXPECT_TRUE(refreshed_setting(settings, SettingsTable::autoplay));
  EXPECT_FALSE(setting(settings, SettingsTable::nonstop));
}

}  // namespace
}  // namespace vemla
