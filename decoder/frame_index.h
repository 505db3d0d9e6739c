// Where each frame read so far begins in the file, so that a seek can come back to any of them when the
// frame length varies (VBR) and no arithmetic finds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vemla {

// Frame starts in file order, about 2.1 bytes per frame: the start of every 64th frame in full and, for
// the frames between, the distance from the previous frame's start in 16 bits. The rare distance that does
// not fit (a long run of junk between two frames) is kept in full on the side.
class FrameIndex {
 public:
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Records `offset` as the start of frame size(); offsets must not decrease.
  void append(uint64_t offset);
  // Forgets the last frame recorded.
  void pop_back();
  // Start of frame k < size().
  uint64_t at(size_t k) const;
  // Bytes held, for the memory budget of long files.
  size_t memory_bytes() const;

 private:
  static constexpr size_t kGroup = 64;
  static constexpr uint16_t kFar = 0xFFFF;

  struct FarStart {
    size_t frame;
    uint64_t offset;
  };

  std::vector<uint64_t> group_starts_;  // start of frame g * kGroup
  std::vector<uint16_t> steps_;         // frame k: start(k) - start(k - 1), or kFar
  std::vector<FarStart> far_starts_;    // frames whose step is kFar, in frame order
  size_t count_ = 0;
  uint64_t last_ = 0;
};

}  // namespace vemla
