// Which stream of a run is being heard, and its frame, from the sound device's played count. A run's start
// or a seek resets the device and the count, which then begins at the frame asked for; a stream the run goes
// on into without a break begins where the samples queued before it end, and is heard once the device has
// played that far. Any thread: the decode thread notes what it queued, the owner asks what is heard.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

namespace vemla {

class HeardPosition {
 public:
  struct Heard {
    uint32_t stream = 0;  // 0 the run's first stream, 1 the one it went on into, ...
    int32_t frame = 0;    // that stream's frame being heard
  };

  // A new run: its first stream, at frame 0, on a device not yet opened.
  void reset();
  // The device was reset: its count begins again at `frame` of the stream being decoded.
  void restart(int32_t frame);
  // The device is open for frames of `frame_samples` sample frames (0 until then: the origin is heard).
  void set_frame_samples(uint32_t frame_samples);
  // The next stream's first samples follow the `device_frames` sample frames queued since the last reset;
  // its frames have `frame_samples` sample frames.
  void follow(uint64_t device_frames, uint32_t frame_samples);
  // What is heard once the device has played `played` sample frames since its reset; `decoded` is the
  // frame the decoder reached in its stream, beyond which nothing of that stream can be heard yet.
  Heard at(uint64_t played, int32_t decoded) const;

 private:
  struct Origin {
    uint32_t stream = 0;
    int32_t frame = 0;
    uint64_t device_frames = 0;
    uint32_t frame_samples = 0;
  };
  mutable std::mutex mutex_;
  mutable Origin heard_;
  mutable std::deque<Origin> queued_;  // streams followed whose first samples are not heard yet
  uint32_t decoding_ = 0;              // the stream being decoded
};

}  // namespace vemla
