// libFuzzer entry point: every input goes through the whole decoder (scripts/fuzz runs it).
#include <cstddef>
#include <cstdint>

#include "decode_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vemla::fuzz::decode_bytes(data, size);
  return 0;
}
