// The playlist: the order in which the player visits the tracks of the open library, as track record numbers
// (1-based row positions of the track table) with a cursor, read through a category filter; and the three
// ways of rebuilding it (reset from the table, shuffle, arrange by shared categories). It moves the track
// table but knows nothing of windows: the main window shows what it tells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vemla {

class Table;

// A random draw for shuffle and arrange: a uniform integer in [0, count), count at least 1. The program draws
// from a generator seeded from the clock; tests pass fixed draws.
using Draw = std::function<uint32_t(uint32_t count)>;

// The 64 category flags of a track, bit k set when its column C(k+1) is true.
using CategoryMask = uint64_t;

// Told how far a long operation has come (entries done of total); returns false to stop it there.
using ArrangeProgress = std::function<bool(size_t done, size_t total)>;

class Playlist {
 public:
  static constexpr int32_t kEmpty = -1;

  // The track table of the open library; it may be closed (then the list stays empty).
  explicit Playlist(Table& tracks);

  // One slot per track of the table at the last reset (no cap), kEmpty where no track is. Reading past the
  // last slot gives kEmpty.
  const std::vector<int32_t>& entries() const { return entries_; }
  int32_t entry(long index) const;
  // Writes one slot, growing the list when needed (an import puts a new track at the slot of its position).
  void set_entry(size_t index, int32_t record);
  // The number of slots holding a track.
  size_t filled() const;

  // The current entry; -1 means before the first entry, which every reading operation takes as 0.
  int cursor() const { return cursor_; }
  void set_cursor(int cursor) { cursor_ = cursor; }
  int position() const { return cursor_ < 0 ? 0 : cursor_; }

  // 0: every track passes; k (1 ... 64): only the tracks of category k.
  int filter() const { return filter_; }
  void set_filter(int filter);

  // Moves the track table to record r and tells whether that track passes the filter. An r below 1 (an empty
  // slot) moves the table to its first record and is not found; so is any r while the table is closed.
  bool go_to_track(int32_t record);
  // Whether the current track passes the filter.
  bool passes_filter();
  // The categories of the current track; 0 when the table is closed or empty.
  CategoryMask current_categories();

  // Rebuilds the list from the table: the record numbers of the tracks that pass the filter, in table order,
  // then empty slots up to one per track. The cursor goes to 0 and the table to the first entry's track;
  // returns whether it was found.
  bool reset();
  // Exchanges each entry from the cursor up to the first empty slot with a partner drawn among all the filled
  // entries (those before the cursor too). The table does not move.
  void shuffle(const Draw& draw);
  // Clears the filter and lists every track of the table (a list of one category would hold only tracks that
  // share it, and the ones left out would not come back under "all"), shuffles it, then orders it so that each
  // track shares a category with the one before it where a later entry allows: for each entry, the first later
  // entry (the last one included) that shares a category with it is brought next to it. The cursor goes to 0
  // and the table to the first entry's track; returns whether it was found. `progress` is told after each
  // entry; when it says stop, the rest of the list stays as the shuffle left it.
  bool arrange(const Draw& draw, const ArrangeProgress& progress = {});

  // The entries from the cursor up to the first empty slot, each as "%02d " (record 7: "07 ", 123: "123 ").
  // Stops once the text holds max_chars characters or more, since a label shows only the start of a long list.
  std::string label_text(size_t max_chars = SIZE_MAX) const;

 private:
  // Exchanges from position p on, as shuffle does.
  void exchange_from(size_t p, const Draw& draw);
  // The category masks of every track, by record number - 1.
  std::vector<CategoryMask> all_categories();

  Table& tracks_;
  std::vector<int32_t> entries_;
  int cursor_ = 0;
  int filter_ = 0;
};

}  // namespace vemla
