// The playlist: its record and label, the lookup through the category filter, and reset, shuffle and arrange
// on track tables made for each test.
#include "playlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>

#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

class PlaylistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::create_library(dir.path(), "Lib");
    test::name_table(tracks, dir.path(), "Lib.db");
    tracks.set_field_order(track_field_order());
    tracks.open();
  }
  // Appends tracks "t1", "t2", ... with the given category masks.
  void add_tracks(const std::vector<CategoryMask>& masks) {
    for (CategoryMask mask : masks) {
      tracks.append();
      tracks.field_by_name("TITLE").set_text("t" + std::to_string(tracks.record_number()));
      for (int k = 0; k < 64; ++k) {
        if (mask >> k & 1) tracks.field_by_position(k).set_boolean(true);
      }
      tracks.post();
    }
  }
  std::vector<int32_t> visible() const {
    std::vector<int32_t> list;
    for (long i = 0; playlist.entry(i) != Playlist::kEmpty; ++i) list.push_back(playlist.entry(i));
    return list;
  }
  std::string current_title() { return tracks.field_by_name("TITLE").as_text(); }

  test::TempDir dir;
  Table tracks;
  Playlist playlist{tracks};
};

// Draws that replay a fixed sequence.
Draw replay(std::vector<uint32_t> draws) {
  auto queue = std::make_shared<std::deque<uint32_t>>(draws.begin(), draws.end());
  return [queue](uint32_t count) {
    EXPECT_FALSE(queue->empty()) << "more draws than expected";
    if (queue->empty()) return 0u;
    const uint32_t value = queue->front() % count;
    queue->pop_front();
    return value;
  };
}

Draw seeded(unsigned seed) {
  auto generator = std::make_shared<std::mt19937>(seed);
  return [generator](uint32_t count) { return std::uniform_int_distribution<uint32_t>(0, count - 1)(*generator); };
}

TEST_F(PlaylistTest, LabelShowsTheListFromTheCursorOn) {
  for (int r = 1; r <= 5; ++r) playlist.set_entry(static_cast<size_t>(r - 1), r);
  EXPECT_EQ(playlist.label_text(), "01 02 03 04 05 ");
  playlist.set_cursor(-1);  // before the first entry: read as 0
  EXPECT_EQ(playlist.position(), 0);
  EXPECT_EQ(playlist.label_text(), "01 02 03 04 05 ");
  playlist.set_cursor(3);
  EXPECT_EQ(playlist.label_text(), "04 05 ");
  playlist.set_entry(6, 123);  // beyond an empty slot: not shown
  EXPECT_EQ(playlist.entries().size(), 7u);
  EXPECT_EQ(playlist.label_text(), "04 05 ");
  playlist.set_entry(5, 123);
  playlist.set_cursor(0);
  EXPECT_EQ(playlist.label_text(), "01 02 03 04 05 123 123 ");
  EXPECT_EQ(playlist.label_text(7), "01 02 03 ");  // a long list stops once the label is full
  EXPECT_EQ(playlist.entry(-1), Playlist::kEmpty);
  EXPECT_EQ(playlist.entry(99), Playlist::kEmpty);
  EXPECT_EQ(playlist.filled(), 7u);
  playlist.set_cursor(7);
  EXPECT_EQ(playlist.label_text(), "");
}

TEST_F(PlaylistTest, LookupMovesTheTableAndTellsWhetherTheFilterPasses) {
  add_tracks({0, 1u << 2, 0, CategoryMask{1} << 63});
  tracks.move_by(10);
  EXPECT_FALSE(playlist.go_to_track(-1));  // an empty slot: the first record, not found
  EXPECT_EQ(tracks.record_number(), 1);
  EXPECT_TRUE(playlist.go_to_track(3));  // "all"
  EXPECT_EQ(current_title(), "t3");
  playlist.set_filter(3);
  EXPECT_FALSE(playlist.go_to_track(1));  // C3 false: moved all the same
  EXPECT_EQ(current_title(), "t1");
  EXPECT_TRUE(playlist.go_to_track(2));
  EXPECT_EQ(playlist.current_categories(), CategoryMask{1} << 2);
  playlist.set_filter(64);
  EXPECT_TRUE(playlist.go_to_track(4));
  EXPECT_EQ(playlist.current_categories(), CategoryMask{1} << 63);
  EXPECT_THROW(playlist.set_filter(65), TableError);
  tracks.close();
  EXPECT_FALSE(playlist.go_to_track(2));
  EXPECT_EQ(playlist.current_categories(), 0u);
}

TEST_F(PlaylistTest, ResetListsThePassingTracksInTableOrder) {
  add_tracks({4, 0, 4 | 1, 0, 4});
  tracks.move_by(3);
  EXPECT_TRUE(playlist.reset());
  EXPECT_EQ(playlist.label_text(), "01 02 03 04 05 ");
  EXPECT_EQ(playlist.cursor(), 0);
  EXPECT_EQ(tracks.record_number(), 1);

  playlist.set_filter(3);
  playlist.set_cursor(2);
  EXPECT_TRUE(playlist.reset());
  EXPECT_EQ(playlist.entries(), (std::vector<int32_t>{1, 3, 5, -1, -1}));  // a slot per track
  EXPECT_EQ(playlist.cursor(), 0);

  playlist.set_filter(2);  // no track passes
  EXPECT_FALSE(playlist.reset());
  EXPECT_EQ(playlist.label_text(), "");
  EXPECT_EQ(tracks.record_number(), 1);

  playlist.set_filter(1);  // the only passing track is the last but one
  tracks.first();
  EXPECT_TRUE(playlist.reset());
  EXPECT_EQ(current_title(), "t3");
  EXPECT_FALSE(tracks.at_end());

  // A track still being added is posted and takes part.
  tracks.append();
  tracks.field_by_position(0).set_boolean(true);
  playlist.reset();
  EXPECT_EQ(playlist.entries(), (std::vector<int32_t>{3, 6, -1, -1, -1, -1}));
}

TEST_F(PlaylistTest, ResetOfAnEmptyOrClosedTableGivesAnEmptyList) {
  EXPECT_FALSE(playlist.reset());
  EXPECT_TRUE(playlist.entries().empty());
  EXPECT_EQ(playlist.label_text(), "");
  add_tracks({0, 0});
  playlist.reset();
  tracks.close();
  EXPECT_FALSE(playlist.reset());
  EXPECT_EQ(playlist.entry(0), Playlist::kEmpty);
  EXPECT_EQ(playlist.cursor(), 0);
}

TEST_F(PlaylistTest, ShuffleExchangesFromTheCursorWithAnyFilledEntry) {
  add_tracks({0, 0, 0, 0, 0});
  playlist.reset();
  playlist.set_cursor(3);
  // p = 3 takes slot 0, p = 4 takes slot 1: entries before the cursor take part.
  playlist.shuffle(replay({0, 1}));
  EXPECT_EQ(playlist.entries(), (std::vector<int32_t>{4, 5, 3, 1, 2}));
  const size_t before = tracks.record_number();
  playlist.set_cursor(-1);
  playlist.shuffle(seeded(7));
  std::vector<int32_t> sorted = playlist.entries();
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(static_cast<size_t>(tracks.record_number()), before);  // the table does not move
}

// A filtered list has empty slots after its entries; none is ever drawn, so no track drops out of the list.
TEST_F(PlaylistTest, ShuffleOfAFilteredListKeepsEveryEntry) {
  add_tracks({1, 0, 1, 0, 0, 1, 0, 0});
  playlist.set_filter(1);
  playlist.reset();
  for (unsigned seed = 0; seed < 20; ++seed) {
    playlist.shuffle(seeded(seed));
    std::vector<int32_t> list = visible();
    std::sort(list.begin(), list.end());
    ASSERT_EQ(list, (std::vector<int32_t>{1, 3, 6})) << "seed " << seed;
  }
  // The draw is among the three filled slots: a draw of 2 is the third entry, not an empty slot.
  playlist.reset();
  playlist.shuffle(replay({2, 2, 2}));
  EXPECT_EQ(visible(), (std::vector<int32_t>{6, 1, 3}));
  Playlist empty(tracks);
  empty.shuffle(replay({}));  // nothing to draw for
}

// The arrangement as walking the table would build it: each candidate visited by moving the table to it.
std::vector<int32_t> arranged_by_walking(Table& tracks, std::vector<int32_t> list) {
  auto mask_of = [&](int32_t r) {
    tracks.move_by(r - tracks.record_number());
    CategoryMask mask = 0;
    for (int k = 0; k < 64; ++k) {
      if (tracks.field_by_position(k).as_boolean()) mask |= CategoryMask{1} << k;
    }
    return mask;
  };
  auto at = [&](size_t i) { return i < list.size() ? list[i] : Playlist::kEmpty; };
  for (size_t i = 0; at(i + 1) != Playlist::kEmpty; ++i) {
    const CategoryMask m = mask_of(list[i]);
    for (size_t j = i + 1; at(j) != Playlist::kEmpty; ++j) {
      if (mask_of(list[j]) & m) {
        std::swap(list[i + 1], list[j]);
        break;
      }
    }
  }
  return list;
}

TEST_F(PlaylistTest, ArrangeMatchesTheTableWalkForTheSameDraws) {
  std::mt19937 random(11);
  std::vector<CategoryMask> masks;
  for (int i = 0; i < 40; ++i) {
    // One of the first three categories for most tracks, and sparse ones over all 64, so that some tracks
    // find a neighbour and some do not.
    CategoryMask mask = random() % 4 ? CategoryMask{1} << (random() % 3) : 0;
    for (int n = random() % 3; n > 0; --n) mask |= CategoryMask{1} << (random() % 64);
    masks.push_back(mask);
  }
  add_tracks(masks);
  int rearranged = 0;
  for (unsigned seed = 1; seed <= 5; ++seed) {
    const int filter = static_cast<int>(seed) - 2 > 0 ? static_cast<int>(seed) - 2 : 0;
    playlist.set_filter(filter);
    playlist.reset();
    playlist.set_cursor(7);
    Playlist shuffled(tracks);  // a filtered list is arranged over every track, as "all" says
    shuffled.reset();
    shuffled.shuffle(seeded(seed));  // the arrangement starts from the same shuffle of the whole list
    EXPECT_TRUE(playlist.arrange(seeded(seed)));
    EXPECT_EQ(playlist.filter(), 0);
    EXPECT_EQ(playlist.cursor(), 0);
    EXPECT_EQ(tracks.record_number(), playlist.entry(0));
    EXPECT_EQ(playlist.entries(), arranged_by_walking(tracks, shuffled.entries())) << "seed " << seed;
    rearranged += playlist.entries() != shuffled.entries();
  }
  EXPECT_EQ(rearranged, 5) << "every run moved tracks beyond the shuffle";
}

TEST_F(PlaylistTest, ArrangeFollowsSharedCategories) {
  // One category for all: nothing changes beyond the shuffle.
  add_tracks({2, 2, 2, 2});
  playlist.reset();
  playlist.arrange(replay({3, 0, 1, 1}));  // 1 2 3 4 -> 4 2 3 1 -> 2 4 3 1 -> 2 3 4 1 -> 2 1 4 3
  EXPECT_EQ(playlist.entries(), (std::vector<int32_t>{2, 1, 4, 3}));
}

TEST_F(PlaylistTest, ArrangeWithDisjointCategoriesSwapsNothing) {
  add_tracks({1, 2, 4, 8});
  playlist.reset();
  playlist.arrange(replay({0, 0, 0, 0}));  // 1 2 3 4 -> 4 1 2 3 by the shuffle
  EXPECT_EQ(playlist.entries(), (std::vector<int32_t>{4, 1, 2, 3}));
}

TEST_F(PlaylistTest, ArrangeUsesTheHighCategoriesAndTheLastEntry) {
  const CategoryMask high = CategoryMask{1} << 40;
  // Track 1 shares category 41 only with track 4, which the shuffle leaves as the last entry.
  add_tracks({high, 1, 4, high | 4});
  playlist.reset();
  playlist.arrange(replay({0, 1, 2, 3}));  // the identity
  // Then track 4 shares category 3 with track 3, already next to it; track 3 none with track 2.
  EXPECT_EQ(playlist.entries(), (std::vector<int32_t>{1, 4, 3, 2}));
  Playlist closed(tracks);
  tracks.close();
  EXPECT_FALSE(closed.arrange(replay({})));
}

TEST_F(PlaylistTest, ArrangeTellsItsProgressAndStopsWhenAsked) {
  add_tracks({1, 2, 1, 0, 2, 1});
  playlist.reset();
  Playlist whole(tracks);
  whole.reset();
  whole.arrange(seeded(4));
  std::vector<size_t> told;
  playlist.arrange(seeded(4), [&](size_t done, size_t total) {
    EXPECT_EQ(total, 6u);
    told.push_back(done);
    return true;
  });
  EXPECT_EQ(told, (std::vector<size_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(playlist.entries(), whole.entries()) << "progress changes nothing of the result";

  // Stopped before the first step: the list stays as the shuffle left it, every entry kept.
  playlist.reset();
  Playlist shuffled(tracks);
  shuffled.reset();
  shuffled.shuffle(seeded(4));
  EXPECT_TRUE(playlist.arrange(seeded(4), [](size_t, size_t) { return false; }));
  EXPECT_EQ(playlist.entries(), shuffled.entries());
  EXPECT_EQ(playlist.cursor(), 0);
  EXPECT_EQ(tracks.record_number(), playlist.entry(0));
}

}  // namespace
}  // namespace vemla
