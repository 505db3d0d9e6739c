// Feeds arbitrary bytes through the whole decoder as a track goes through it when it is played: the first
// header and the facts the library stores, a decode pass in a channel choice and sample kind picked from
// the bytes, and seeks back and forth. Aborts, with a line on standard error, when the decoder breaks a
// promise its callers rely on; memory errors and undefined behaviour are left to the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vemla::fuzz {

void decode_bytes(const uint8_t* data, size_t size);

}  // namespace vemla::fuzz
