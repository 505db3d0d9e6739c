// The play order as plain objects: Next and Prior with and without Auto Play over the filter and Auto Skip,
// the end of a track with Repeat Track and Nonstop Play, the current entry after Reset, Shuffle and Arrange,
// and the track that follows the one playing.
#include "play_order.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace vemla {
namespace {

// A list of record numbers (0 or -1 for an empty slot); `out` do not pass the filter, `skip` are flagged.
struct FakeList final : PlayList {
  FakeList(std::vector<int32_t> entries, std::set<int32_t> out = {}, std::set<int32_t> skip = {})
      : entries(std::move(entries)), out(std::move(out)), skip(std::move(skip)) {}
  size_t size() const override { return entries.size(); }
  int32_t entry(size_t slot) const override { return slot < entries.size() ? entries[slot] : -1; }
  bool passes(int32_t record) override { return record >= 1 && !out.count(record); }
  bool skipped(int32_t record) override { return skip.count(record) > 0; }

  std::vector<int32_t> entries;
  std::set<int32_t> out, skip;
};

constexpr PlaySettings kManual{false, false, false};
constexpr PlaySettings kAuto{true, false, false};
constexpr PlaySettings kNonstop{true, true, false};
constexpr PlaySettings kRepeat{false, false, true};

// Where a step goes and what it does, in one line for a readable failure.
std::string told(const Step& s) {
  std::string text;
  if (s.stop) text += "stop ";
  if (s.moves) text += "to " + std::to_string(s.cursor) + ":" + std::to_string(s.record) + (s.found ? " " : "? ");
  if (s.play) text += "play ";
  if (s.replay) text += "replay ";
  if (!s.status.empty()) text += "\"" + s.status + "\"";
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

TEST(PlayOrder, NextWithAutoPlayPassesOverFilterSkipAndGaps) {
  FakeList list({1, 2, 3, -1, 5, 6}, {2}, {3});
  EXPECT_EQ(told(next_step(list, 0, kAuto)), "to 4:5 play");  // 2 filtered, 3 skipped, slot 3 empty
  EXPECT_EQ(told(next_step(list, -1, kAuto)), "to 0:1 play") << "before the first entry";
  EXPECT_EQ(told(next_step(list, 4, kAuto)), "to 5:6 play");
  // At the end nothing changes: the current track stays, and the status says why.
  EXPECT_EQ(told(next_step(list, 5, kAuto)), "\"End of the playlist\"");
  list.skip.insert(6);
  EXPECT_EQ(told(next_step(list, 4, kAuto)), "\"End of the playlist\"") << "a skipped last entry ends the list";
  // Nonstop Play starts the list again with the first entry that qualifies.
  list.skip.insert(1);
  EXPECT_EQ(told(next_step(list, 5, kNonstop)), "to 4:5 play");
  list.skip.insert(5);
  EXPECT_EQ(told(next_step(list, 5, kNonstop)), "\"End of the playlist\"") << "every entry passed over";
}

TEST(PlayOrder, NextAndPriorWithoutAutoPlayMoveAndStop) {
  FakeList list({1, 2, 3, 4, 5}, {2, 5}, {3});
  // Only the filter counts; what plays stops, so that the window shows what is heard.
  EXPECT_EQ(told(next_step(list, 0, kManual)), "stop to 2:3");
  EXPECT_EQ(told(next_step(list, 2, kManual)), "stop to 3:4");
  EXPECT_EQ(told(next_step(list, 3, kManual)), "\"End of the playlist\"") << "5 is outside the filter";
  PlaySettings nonstop_only = kManual;
  nonstop_only.nonstop = true;
  EXPECT_EQ(told(next_step(list, 3, nonstop_only)), "\"End of the playlist\"") << "only Auto Play starts again";
  EXPECT_EQ(told(prior_step(list, 3, kManual)), "stop to 2:3");
  EXPECT_EQ(told(prior_step(list, 2, kManual)), "stop to 0:1");
  EXPECT_EQ(told(prior_step(list, 0, kManual)), "\"Start of the playlist\"");
  EXPECT_EQ(told(prior_step(list, -1, kManual)), "\"Start of the playlist\"");
  // Prior with Auto Play passes over what Next passes over, and plays.
  EXPECT_EQ(told(prior_step(list, 3, kAuto)), "to 0:1 play");
  list.out.insert(1);
  EXPECT_EQ(told(prior_step(list, 3, kAuto)), "\"Start of the playlist\"");
  EXPECT_EQ(told(prior_step(list, 3, kNonstop)), "\"Start of the playlist\"") << "Prior does not wrap";
}

TEST(PlayOrder, EndOfTrackFollowsRepeatAutoPlayAndNonstop) {
  FakeList list({1, 2, 3}, {}, {2});
  // Repeat Track comes first, with or without Auto Play.
  EXPECT_EQ(told(end_of_track_step(list, 0, kRepeat)), "replay");
  PlaySettings all = kNonstop;
  all.repeat_track = true;
  EXPECT_EQ(told(end_of_track_step(list, 2, all)), "replay");
  // Without Auto Play the player stops where it is.
  EXPECT_EQ(told(end_of_track_step(list, 0, kManual)), "stop");
  EXPECT_EQ(told(end_of_track_step(list, 0, kAuto)), "to 2:3 play");
  EXPECT_EQ(told(end_of_track_step(list, 2, kAuto)), "stop \"End of the playlist\"");
  EXPECT_EQ(told(end_of_track_step(list, 2, kNonstop)), "to 0:1 play");
  // A list whose every entry is passed over stops Nonstop Play instead of going round for ever.
  list.skip = {1, 2, 3};
  EXPECT_EQ(told(end_of_track_step(list, 1, kNonstop)),
            "stop \"Nonstop Play stopped: every track is passed over\"");
  // One track left: Nonstop plays it again and again.
  list.skip = {1, 3};
  EXPECT_EQ(told(end_of_track_step(list, 1, kNonstop)), "to 1:2 play");
  // A filter chosen after the list was made: the tracks outside it are passed over too.
  FakeList filtered({1, 2, 3, 4}, {3, 4});
  EXPECT_EQ(told(end_of_track_step(filtered, 1, kAuto)), "stop \"End of the playlist\"");
  EXPECT_EQ(told(end_of_track_step(filtered, 1, kNonstop)), "to 0:1 play");
}

TEST(PlayOrder, RebuiltListsStartAtTheCursor) {
  FakeList list({4, 2, 6, 1, -1}, {}, {6});
  // Reset never plays; Shuffle and Arrange play only with Auto Play.
  EXPECT_EQ(told(list_changed_step(list, 0, ListChange::Reset, kNonstop)), "stop to 0:4");
  EXPECT_EQ(told(list_changed_step(list, 2, ListChange::Shuffle, kManual)), "stop to 2:6");
  EXPECT_EQ(told(list_changed_step(list, -1, ListChange::Shuffle, kManual)), "stop to 0:4");
  EXPECT_EQ(told(list_changed_step(list, 0, ListChange::Arrange, kAuto)), "to 0:4 play");
  // With Auto Play a skipped entry at the cursor gives way to the next that qualifies.
  EXPECT_EQ(told(list_changed_step(list, 2, ListChange::Shuffle, kAuto)), "to 3:1 play");
  list.skip.insert(1);
  EXPECT_EQ(told(list_changed_step(list, 2, ListChange::Shuffle, kAuto)), "stop to 2:6");
  // An empty list: nothing is found.
  FakeList empty({});
  EXPECT_EQ(told(list_changed_step(empty, 0, ListChange::Reset, kManual)), "stop to 0:-1?");
  EXPECT_EQ(told(next_step(empty, 0, kAuto)), "\"End of the playlist\"");
  EXPECT_EQ(told(prior_step(empty, 0, kAuto)), "\"Start of the playlist\"");
}

TEST(PlayOrder, FollowingTrackAndWhatTheControlsOffer) {
  FakeList list({1, 2, 3}, {}, {2});
  EXPECT_EQ(following_record(list, 0, 1, kAuto), 3);
  EXPECT_EQ(following_record(list, 0, 1, kManual), 0) << "without Auto Play nothing follows";
  EXPECT_EQ(following_record(list, 0, 1, kRepeat), 1) << "the track playing, also off the cursor";
  EXPECT_EQ(following_record(list, 0, 7, kRepeat), 7);
  EXPECT_EQ(following_record(list, 2, 3, kAuto), 0);
  EXPECT_EQ(following_record(list, 2, 3, kNonstop), 1);
  list.out.insert(3);
  EXPECT_EQ(following_record(list, 0, 1, kAuto), 0) << "the filter counts at once";

  EXPECT_TRUE(has_next(list, 0, kManual));  // 2 passes the filter; its skip flag counts with Auto Play only
  EXPECT_FALSE(has_next(list, 0, kAuto));
  EXPECT_TRUE(has_next(list, 0, kNonstop));  // round to 1 again
  EXPECT_FALSE(has_prior(list, 0, kManual));
  EXPECT_TRUE(has_prior(list, 1, kAuto));
}

}  // namespace
}  // namespace vemla
