#include "bit_reservoir.h"

#include <algorithm>

namespace vemla {

void Bit_Reserve::append_bytes(const uint8_t* bytes, int count) {
  // Only the last ring length of a long run survives; write it in at most two pieces, then mirror.
  if (count > kRingBytes) {
    write_index_ = (write_index_ + count - kRingBytes) & (kRingBytes - 1);
    bytes += count - kRingBytes;
    count = kRingBytes;
  }
  while (count > 0) {
    const int piece = std::min(count, kRingBytes - write_index_);
    std::memcpy(ring_ + write_index_, bytes, static_cast<size_t>(piece));
    write_index_ = (write_index_ + piece) & (kRingBytes - 1);
    bytes += piece;
    count -= piece;
  }
  std::memcpy(ring_ + kRingBytes, ring_, kMirrorBytes);
}

}  // namespace vemla
