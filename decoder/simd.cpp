#include "simd.h"

#include <cstdlib>
#include <cstring>

namespace vemla {

SimdLevel simd_level() {
  static const SimdLevel level = [] {
    const char* forced = std::getenv("VEMLA_SIMD");
    if (forced && std::strcmp(forced, "portable") == 0) return SimdLevel::Portable;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return SimdLevel::Avx2;
#endif
    return SimdLevel::Portable;
  }();
  return level;
}

}  // namespace vemla
