#include "simd.h"

#include <cstdlib>
#include <cstring>

namespace vemla {

bool processor_has_avx2() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

SimdLevel simd_level() {
  static const SimdLevel level = [] {
    const char* forced = std::getenv("VEMLA_SIMD");
    if (forced && std::strcmp(forced, "portable") == 0) return SimdLevel::Portable;
    return processor_has_avx2() ? SimdLevel::Avx2 : SimdLevel::Portable;
  }();
  return level;
}

}  // namespace vemla
