// The play order: the rules that decide what plays next. Given the playlist (its entries and cursor), whether
// each track passes the category filter and is flagged Auto Skip, and the playing options, it answers what
// happens on Next and Prior, at the end of a track, and after the list is reset, shuffled or arranged: which
// entry becomes current, whether it plays, whether playing stops, and what the status bar says. It knows
// nothing of tables or windows: the window adapts the library's playlist to PlayList and carries the answer
// out. Pure functions of their arguments; any thread, though the window calls them on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vemla {

// What the status bar says when a step finds no further track, and when Nonstop Play gives up.
inline constexpr const char* kEndOfPlaylist = "End of the playlist";
inline constexpr const char* kStartOfPlaylist = "Start of the playlist";
inline constexpr const char* kNonstopGivesUp = "Nonstop Play stopped: every track is passed over";

// The playing options: Auto Play, Nonstop Play (the list again after its end) and Repeat Track.
struct PlaySettings {
  bool auto_play = false;
  bool nonstop = false;
  bool repeat_track = false;
};

// The playlist as the rules read it. A slot whose entry is below 1 is empty. Lookups may read the library
// lazily, hence not const.
class PlayList {
 public:
  virtual ~PlayList() = default;
  // The slots the rules walk: 0 ... size() - 1.
  virtual size_t size() const = 0;
  virtual int32_t entry(size_t slot) const = 0;
  // Whether track `record` passes the category filter; a record outside the library does not.
  virtual bool passes(int32_t record) = 0;
  // Whether track `record` is flagged Auto Skip.
  virtual bool skipped(int32_t record) = 0;
};

// An answer of the rules. `stop` is done first, then the move, then `play`.
struct Step {
  bool stop = false;     // what plays (or is paused) stops
  bool moves = false;    // the cursor goes to `cursor`, whose entry `record` becomes the current track
  int cursor = 0;
  int32_t record = 0;
  bool found = false;    // the new current track passes the filter ("Found")
  bool play = false;     // the current track starts (after a move: the new one)
  bool replay = false;   // the track that just ended starts again from its start (Repeat Track)
  std::string status;    // for the status bar; empty when there is nothing to say
};

// Next and Prior. With Auto Play the nearest entry that passes the filter and is not skipped becomes current
// and plays; Next past the end starts the list again with Nonstop Play. Without Auto Play only the filter
// counts: the nearest matching entry becomes current and what plays stops, so that what is shown is what is
// heard. When no entry qualifies nothing changes and the status says so.
Step next_step(PlayList& list, int cursor, const PlaySettings& settings);
Step prior_step(PlayList& list, int cursor, const PlaySettings& settings);

// The end of a track that was heard to its end: Repeat Track plays it again; Auto Play moves on as Next
// does, with Nonstop Play from the first entry again after the last (and it gives up when every entry is
// passed over); without Auto Play the player stops where it is.
Step end_of_track_step(PlayList& list, int cursor, const PlaySettings& settings);

// After the list was rebuilt (what played has stopped): the entry at the cursor is current (Reset and
// Arrange put the cursor at 0). Shuffle and Arrange start playing with Auto Play, from the first entry at or
// after the cursor that qualifies; Reset never starts anything.
enum class ListChange { Reset, Shuffle, Arrange };
Step list_changed_step(PlayList& list, int cursor, ListChange change, const PlaySettings& settings);

// The track that will play when the current one ends by itself, if nothing changes meanwhile: 0 when none
// will (the list ends, or Auto Play and Repeat Track are off). `playing` is the record of the current run.
int32_t following_record(PlayList& list, int cursor, int32_t playing, const PlaySettings& settings);

// Whether Next or Prior would find an entry to move to (what the media controls offer).
bool has_next(PlayList& list, int cursor, const PlaySettings& settings);
bool has_prior(PlayList& list, int cursor, const PlaySettings& settings);

}  // namespace vemla
