#include "track_chain.h"

namespace vemla {

void TrackChain::set_following(FollowingTrack track) {
  std::lock_guard lock(mutex_);
  following_ = std::move(track);
}

FollowingTrack TrackChain::following() const {
  std::lock_guard lock(mutex_);
  return following_;
}

void TrackChain::new_run() {
  std::lock_guard lock(mutex_);
  following_ = {};
  handed_ = {};
  taken_.clear();
}

FollowingTrack TrackChain::stream_track(uint32_t stream) const {
  std::lock_guard lock(mutex_);
  if (stream < 1 || stream > taken_.size()) return {};
  return taken_[stream - 1];
}

uint32_t TrackChain::streams_taken() const {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(taken_.size());
}

std::string TrackChain::following_file() {
  std::lock_guard lock(mutex_);
  handed_ = {};
  // A track worked out for an earlier stream is not what follows this one (a stream shorter than the time
  // the owner needs to learn that the run went on).
  if (following_.record < 1 || following_.file.empty() || following_.after != taken_.size()) return {};
  handed_ = following_;
  return handed_.file;
}

float TrackChain::following_scale(float run_scale) {
  std::lock_guard lock(mutex_);
  return handed_.scale > 0 ? handed_.scale : run_scale;
}

void TrackChain::followed() {
  {
    std::lock_guard lock(mutex_);
    taken_.push_back(handed_);
    handed_ = {};
  }
  if (on_followed) on_followed();
}

}  // namespace vemla
