// Where a track's audio is, read from any row while the track table stays on its own: the controls that
// follow the table are not moved, a stored track's audio is written out whole, and a row that is not there
// is an error.
#include "track_source.h"

#include <gtest/gtest.h>

#include "store_support.h"
#include "support.h"
#include "table.h"

namespace vemla {
namespace {

class RowMoves final : public TableListener {
 public:
  void table_row_changed(Table&) override { ++moves; }
  int moves = 0;
};

TEST(TrackSource, ReadsAnyRowWithoutMovingTheTable) {
  test::TempDir dir;
  test::create_library(dir.path(), "Lib");
  Table tracks;
  test::name_table(tracks, dir.path(), "Lib.db");
  tracks.set_field_order(track_field_order());
  tracks.open();
  test::write_file(dir / "audio.bin", {1, 2, 3, 0, 255});
  for (int k = 1; k <= 3; ++k) {
    tracks.append();
    tracks.field_by_name("PAD").set_text("/music/t" + std::to_string(k) + ".mp3");
    if (k == 2) tracks.field_by_name("DATA").load_from_file(dir / "audio.bin");
    tracks.post();
  }
  tracks.first();
  RowMoves listener;
  tracks.add_listener(listener);

  const TrackSource third = track_source(tracks, 3);
  EXPECT_FALSE(third.stored);
  EXPECT_EQ(third.path, "/music/t3.mp3");
  EXPECT_TRUE(track_source(tracks, 2).stored);
  save_stored_audio(tracks, 2, dir / "out.mp3");
  EXPECT_EQ(test::read_file(dir / "out.mp3"), test::read_file(dir / "audio.bin"));
  save_stored_audio(tracks, 1, dir / "none.mp3");
  EXPECT_TRUE(test::read_file(dir / "none.mp3").empty()) << "a track kept on disk has no stored audio";
  EXPECT_EQ(tracks.record_number(), 1);
  EXPECT_EQ(listener.moves, 0) << "the table moved to read another row";

  EXPECT_THROW(track_source(tracks, 0), TableError);
  EXPECT_THROW(track_source(tracks, 4), TableError);
  tracks.remove_listener(listener);
  tracks.close();
  EXPECT_THROW(track_source(tracks, 1), TableError);
}

}  // namespace
}  // namespace vemla
