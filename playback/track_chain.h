// The tracks a run goes on into without a break in the desktop program (gapless play): the owner names the
// track that follows, and for which of the run's streams; the decode thread takes it when that stream ends and
// notes which track each further stream of the run is, so that the owner can show it once it is heard.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "decode_run.h"

namespace vemla {

// The track that plays when a stream of the current run ends by itself, as the owner's play order last worked
// it out.
struct FollowingTrack {
  int32_t record = 0;  // the library's record number; 0: nothing follows
  // The file to open; empty when the run is to end there (nothing follows, or the track is to get a run of
  // its own). A stored track gets a temporary file of its own, written before it is named here.
  std::string file;
  uint32_t after = 0;  // the run's stream it follows: 0 the first, 1 the one the run went on into, ...
  // The synthesis filters' scale for it (its own gain); 0 keeps the scale of the stream before.
  float scale = 0.0f;
  friend bool operator==(const FollowingTrack&, const FollowingTrack&) = default;
};

// The owner's thread names the following track; the decode thread takes it. Every member is safe from any
// thread unless it says otherwise.
class TrackChain final : public FollowingStreams {
 public:
  // Called on the decode thread each time the run went on into a further stream; it must not block or touch a
  // window (the desktop program queues a look on its own thread).
  std::function<void()> on_followed;

  // Owner: what follows, replacing what was named before.
  void set_following(FollowingTrack track);
  FollowingTrack following() const;
  // Owner, before a run starts: nothing taken yet, nothing follows.
  void new_run();
  // What the run's stream `stream` (1 the first it went on into, ...) was taken as; {} for one it did not take.
  FollowingTrack stream_track(uint32_t stream) const;
  // Streams the run went on into so far.
  uint32_t streams_taken() const;

  // Decode thread: the following track's file when it follows the stream that just ended, else empty.
  std::string following_file() override;
  // Decode thread: the scale named with the file last handed out, else the run's.
  float following_scale(float run_scale) override;
  // Decode thread: the run went on into the file last handed out.
  void followed() override;

 private:
  mutable std::mutex mutex_;
  FollowingTrack following_;
  std::vector<FollowingTrack> taken_;  // [n - 1]: stream n
  FollowingTrack handed_;              // handed out at the end of a stream, not yet taken
};

}  // namespace vemla
