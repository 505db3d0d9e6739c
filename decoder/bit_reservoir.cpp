#include "bit_reservoir.h"

namespace vemla {

void Bit_Reserve::skip_bits(uint32_t n) {
  bits_consumed_ += static_cast<int32_t>(n);
  if (n <= bits_left_) {
    bits_left_ -= n;
    return;
  }
  // Past the current byte: whole bytes, then the bits of the byte the position lands in. A position on a
  // byte boundary is kept as "no bits left in the byte before", as take_bits leaves it.
  n -= bits_left_;
  const uint32_t bytes = (n + 7) / 8;
  read_byte_index_ += static_cast<int32_t>(bytes);
  bits_left_ = 8 * bytes - n;
}

void Bit_Reserve::unread_bits(uint32_t n) {
  bits_consumed_ -= static_cast<int32_t>(n);
  bits_left_ += n;
  read_byte_index_ -= static_cast<int32_t>(bits_left_ / 8);
  bits_left_ %= 8;
}

}  // namespace vemla
