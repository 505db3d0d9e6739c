#include "frame_index.h"

#include <algorithm>

namespace vemla {

void FrameIndex::append(uint64_t offset) {
  const size_t k = count_++;
  if (k % kGroup == 0) {
    group_starts_.push_back(offset);
    steps_.push_back(0);
  } else {
    const uint64_t step = offset - last_;
    if (step < kFar) {
      steps_.push_back(static_cast<uint16_t>(step));
    } else {
      steps_.push_back(kFar);
      far_starts_.push_back({k, offset});
    }
  }
  last_ = offset;
}

void FrameIndex::pop_back() {
  if (count_ == 0) return;
  const size_t k = --count_;
  if (k % kGroup == 0) group_starts_.pop_back();
  if (steps_[k] == kFar && k % kGroup != 0) far_starts_.pop_back();
  steps_.pop_back();
  last_ = count_ ? at(count_ - 1) : 0;
}

uint64_t FrameIndex::at(size_t k) const {
  const size_t group = k / kGroup;
  uint64_t offset = group_starts_[group];
  for (size_t j = group * kGroup + 1; j <= k; ++j) {
    if (steps_[j] != kFar) {
      offset += steps_[j];
    } else {
      const auto far = std::lower_bound(far_starts_.begin(), far_starts_.end(), j,
                                        [](const FarStart& f, size_t frame) { return f.frame < frame; });
      offset = far->offset;
    }
  }
  return offset;
}

size_t FrameIndex::memory_bytes() const {
  return group_starts_.capacity() * sizeof(uint64_t) + steps_.capacity() * sizeof(uint16_t) +
         far_starts_.capacity() * sizeof(FarStart);
}

}  // namespace vemla
