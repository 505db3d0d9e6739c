#include "block_queue.h"

#include <algorithm>

namespace vemla {

void BlockQueue::push(const WaveBlock& block) {
  blocks_.push_back(&block);
  changed_.notify_all();
}

bool BlockQueue::holds(const WaveBlock* block) const {
  if (!block) return !blocks_.empty();
  return std::find(blocks_.begin(), blocks_.end(), block) != blocks_.end();
}

void BlockQueue::pop_front() {
  blocks_.pop_front();
  changed_.notify_all();
}

void BlockQueue::clear() {
  blocks_.clear();
  changed_.notify_all();
}

void BlockQueue::set_paused(bool paused) {
  paused_ = paused;
  changed_.notify_all();
}

}  // namespace vemla
