#include "play_order.h"

namespace vemla {

namespace {

// Whether the entry at `slot` may become current: it holds a track that passes the filter, and, when it is
// to play by itself, one that is not skipped.
bool qualifies(PlayList& list, long slot, bool to_play) {
  const int32_t record = list.entry(static_cast<size_t>(slot));
  if (record < 1 || !list.passes(record)) return false;
  return !to_play || !list.skipped(record);
}

// The first qualifying slot from `from` on (towards the end when `step` is 1, the start when -1); -1 when
// none.
long find(PlayList& list, long from, int step, bool to_play) {
  const long size = static_cast<long>(list.size());
  for (long slot = from; slot >= 0 && slot < size; slot += step) {
    if (qualifies(list, slot, to_play)) return slot;
  }
  return -1;
}

Step move_to(PlayList& list, long slot, bool play) {
  Step step;
  step.moves = true;
  step.cursor = static_cast<int>(slot);
  step.record = list.entry(static_cast<size_t>(slot));
  step.found = list.passes(step.record);
  step.play = play;
  // A move without playing leaves nothing sounding that the window no longer shows.
  step.stop = !play;
  return step;
}

Step says(const char* status) {
  Step step;
  step.status = status;
  return step;
}

// Where a move away from the cursor starts: -1 is before the first entry.
long from_cursor(int cursor) { return cursor < 0 ? -1 : cursor; }

}  // namespace

Step next_step(PlayList& list, int cursor, const PlaySettings& settings) {
  const bool play = settings.auto_play;
  long slot = find(list, from_cursor(cursor) + 1, 1, play);
  if (slot < 0 && play && settings.nonstop) slot = find(list, 0, 1, true);
  if (slot < 0) return says(kEndOfPlaylist);
  return move_to(list, slot, play);
}

Step prior_step(PlayList& list, int cursor, const PlaySettings& settings) {
  const bool play = settings.auto_play;
  const long slot = find(list, from_cursor(cursor) - 1, -1, play);
  if (slot < 0) return says(kStartOfPlaylist);
  return move_to(list, slot, play);
}

Step end_of_track_step(PlayList& list, int cursor, const PlaySettings& settings) {
  if (settings.repeat_track) {
    Step step;
    step.replay = true;
    return step;
  }
  Step stop;
  stop.stop = true;
  if (!settings.auto_play) return stop;
  long slot = find(list, from_cursor(cursor) + 1, 1, true);
  if (slot < 0 && settings.nonstop) {
    slot = find(list, 0, 1, true);
    if (slot < 0) stop.status = kNonstopGivesUp;
  } else if (slot < 0) {
    stop.status = kEndOfPlaylist;
  }
  if (slot < 0) return stop;
  return move_to(list, slot, true);
}

Step list_changed_step(PlayList& list, int cursor, ListChange change, const PlaySettings& settings) {
  const long at = cursor < 0 ? 0 : cursor;
  if (change != ListChange::Reset && settings.auto_play) {
    const long slot = find(list, at, 1, true);
    if (slot >= 0) return move_to(list, slot, true);
  }
  Step step;
  step.stop = true;
  step.moves = true;
  step.cursor = static_cast<int>(at);
  step.record = list.entry(static_cast<size_t>(at));
  step.found = step.record >= 1 && list.passes(step.record);
  return step;
}

int32_t following_record(PlayList& list, int cursor, int32_t playing, const PlaySettings& settings) {
  const Step step = end_of_track_step(list, cursor, settings);
  if (step.replay) return playing;
  return step.play ? step.record : 0;
}

bool has_next(PlayList& list, int cursor, const PlaySettings& settings) {
  return next_step(list, cursor, settings).moves;
}

bool has_prior(PlayList& list, int cursor, const PlaySettings& settings) {
  return prior_step(list, cursor, settings).moves;
}

}  // namespace vemla
