#include "imdct.h"

#include <algorithm>
#include <cmath>

#include "imdct_kernels.h"

namespace vemla {
namespace {

// The four window shapes of ISO/IEC 11172-3, 2.4.3.4.10.3, each multiplied by the output factor
// -1 / (2 cos((2m + 1) pi / 72)) of the position it weighs.
struct ImdctWindows {
  float value[4][36];
  alignas(32) float lanes[4][36][8];
  ImdctWindows() {
    const double long_step = 0.08726646f;  // pi / 36 as a float
    const double short_step = 0.2617994f;  // pi / 12 as a float
    for (int n = 0; n < 36; ++n) {
      const double normal = std::sin(long_step * (n + 0.5));
      double start = normal, stop = normal, short_window = 0.0;
      if (n >= 18) start = n < 24 ? 1.0 : n < 30 ? std::sin(short_step * (n - 18 + 0.5)) : 0.0;
      if (n < 18) stop = n < 6 ? 0.0 : n < 12 ? std::sin(short_step * (n - 6 + 0.5)) : 1.0;
      if (n < 12) short_window = std::sin(short_step * (n + 0.5));
      const int m = n <= 8 ? 9 + n : n <= 26 ? 26 - n : n - 27;
      const double factor = -1.0 / (2.0 * std::cos((2 * m + 1) * M_PI / 72.0));
      value[0][n] = static_cast<float>(normal * factor);
      value[1][n] = static_cast<float>(start * factor);
      value[2][n] = static_cast<float>(short_window * factor);
      value[3][n] = static_cast<float>(stop * factor);
    }
    for (int type = 0; type < 4; ++type)
      for (int n = 0; n < 36; ++n) std::fill_n(lanes[type][n], 8, value[type][n]);
  }
};

const ImdctWindows& windows() {
  static const ImdctWindows windows;
  return windows;
}

}  // namespace

const float* imdct_window(uint32_t block_type) {
  return windows().value[block_type & 3];
}

const float (*imdct_window_lanes(uint32_t block_type))[8] {
  return windows().lanes[block_type & 3];
}

void imdct(float* in, uint32_t block_type, float* out) {
  if (block_type != 2)
    imdct_kernels::imdct36(in, imdct_window(block_type), out);
  else
    imdct_kernels::imdct_short(in, out);
}

}  // namespace vemla
