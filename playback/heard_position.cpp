#include "heard_position.h"

#include <algorithm>
#include <limits>

namespace vemla {

void HeardPosition::reset() {
  std::lock_guard lock(mutex_);
  heard_ = Origin{};
  queued_.clear();
  decoding_ = 0;
}

void HeardPosition::restart(int32_t frame) {
  std::lock_guard lock(mutex_);
  // A reset drops whatever of an earlier stream was still queued: the stream being decoded is heard.
  heard_ = Origin{decoding_, frame, 0, heard_.frame_samples};
  if (!queued_.empty()) heard_.frame_samples = queued_.back().frame_samples;
  queued_.clear();
}

void HeardPosition::set_frame_samples(uint32_t frame_samples) {
  std::lock_guard lock(mutex_);
  heard_.frame_samples = frame_samples;
}

void HeardPosition::follow(uint64_t device_frames, uint32_t frame_samples) {
  std::lock_guard lock(mutex_);
  queued_.push_back(Origin{++decoding_, 0, device_frames, frame_samples});
}

HeardPosition::Heard HeardPosition::at(uint64_t played, int32_t decoded) const {
  std::lock_guard lock(mutex_);
  while (!queued_.empty() && played >= queued_.front().device_frames) {
    heard_ = queued_.front();
    queued_.pop_front();
  }
  if (heard_.frame_samples == 0) return {heard_.stream, heard_.frame};
  const uint64_t since = played > heard_.device_frames ? played - heard_.device_frames : 0;
  const int64_t frame = heard_.frame + static_cast<int64_t>(since / heard_.frame_samples);
  // Right after a seek the decoder may not have got to the frame asked for yet: nothing limits the count.
  const bool limited = heard_.stream == decoding_ && decoded >= heard_.frame;
  const int64_t limit = limited ? decoded : std::numeric_limits<int32_t>::max();
  return {heard_.stream, static_cast<int32_t>(std::min(frame, limit))};
}

}  // namespace vemla
