#include "imdct.h"

#include <cmath>

namespace vemla {
namespace {

// cos of multiples of 10 degrees.
constexpr float kCos10 = 0.9848077f;
constexpr float kCos20 = 0.9396926f;
constexpr float kCos30 = 0.8660254f;
constexpr float kCos40 = 0.76604444f;
constexpr float kCos50 = 0.64278764f;
constexpr float kCos70 = 0.34202015f;
constexpr float kCos80 = 0.17364818f;

// 1 / (2 cos(pi (2i + 1) / 36)), i = 0..8.
constexpr float kOdd9[9] = {0.5019099f, 0.5176381f, 0.55168897f, 0.61038727f, 0.70710677f,
                            0.8717234f, 1.1831008f, 1.9318516f,  5.7368565f};
// 1 / (2 cos(pi (2i + 1) / 12)), i = 0..2, and 1 / (2 cos(pi (2k + 1) / 24)), k = 0..5.
constexpr float kOdd3[3] = {0.5176381f, 0.70710677f, 1.9318516f};
constexpr float kShortOutput[6] = {0.5043145f, 0.5411961f, 0.6302362f, 0.8213398f, 1.306563f, 3.830649f};
// The short window sin(pi / 12 (n + 0.5)), n = 0..5; n = 6..11 mirror it.
constexpr float kShortWindow[6] = {0.13052619f, 0.38268343f, 0.6087614f, 0.7933533f, 0.9238795f, 0.9914449f};

// The four window shapes of ISO/IEC 11172-3, 2.4.3.4.10.3, each multiplied by the output factor
// -1 / (2 cos((2m + 1) pi / 72)) of the position it weighs.
struct ImdctWindows {
  float value[4][36];
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
  }
};

const ImdctWindows& imdct_windows() {
  static const ImdctWindows windows;
  return windows;
}

// y[i] = sum over j of x[j s] cos(pi (2i + 1) j / 18), i, j = 0..8: the 9-point transform, from its
// symmetry y[8 - i] = sum of (-1)^j x[j s] cos(pi (2i + 1) j / 18).
inline void transform9(const float* x, int s, float* y) {
  const float x0 = x[0], x1 = x[s], x2 = x[2 * s], x3 = x[3 * s], x4 = x[4 * s];
  const float x5 = x[5 * s], x6 = x[6 * s], x7 = x[7 * s], x8 = x[8 * s];
  const float half6 = 0.5f * x6;
  const float e0 = x0 + kCos20 * x2 + kCos40 * x4 + half6 + kCos80 * x8;
  const float e1 = x0 + 0.5f * (x2 - x4 - x8) - x6;
  const float e2 = x0 - kCos80 * x2 - kCos20 * x4 + half6 + kCos40 * x8;
  const float e3 = x0 - kCos40 * x2 + kCos80 * x4 + half6 - kCos20 * x8;
  const float o0 = kCos10 * x1 + kCos30 * x3 + kCos50 * x5 + kCos70 * x7;
  const float o1 = kCos30 * (x1 - x5 - x7);
  const float o2 = kCos50 * x1 - kCos30 * x3 - kCos70 * x5 + kCos10 * x7;
  const float o3 = kCos70 * x1 - kCos30 * x3 + kCos10 * x5 - kCos50 * x7;
  y[0] = e0 + o0, y[8] = e0 - o0;
  y[1] = e1 + o1, y[7] = e1 - o1;
  y[2] = e2 + o2, y[6] = e2 - o2;
  y[3] = e3 + o3, y[5] = e3 - o3;
  y[4] = x0 - x2 + x4 - x6 + x8;
}

void imdct36(float* a, const float* window, float* out) {
  for (int k = 17; k >= 1; --k) a[k] += a[k - 1];
  for (int k = 17; k >= 3; k -= 2) a[k] += a[k - 2];
  float e[9], o[9];
  transform9(a, 2, e);
  transform9(a + 1, 2, o);
  float t[18];
  for (int i = 0; i < 9; ++i) {
    const float odd = o[i] * kOdd9[i];
    t[i] = e[i] + odd;
    t[17 - i] = e[i] - odd;
  }
  for (int n = 0; n <= 8; ++n) out[n] = -t[9 + n] * window[n];
  for (int n = 9; n <= 26; ++n) out[n] = t[26 - n] * window[n];
  for (int n = 27; n <= 35; ++n) out[n] = t[n - 27] * window[n];
}

// One short window: X[k] = in[3k], k = 0..5, added into out[0..11].
void imdct12(const float* in, float* out) {
  float x[6];
  for (int k = 0; k < 6; ++k) x[k] = in[3 * k];
  x[5] += x[4], x[4] += x[3], x[3] += x[2], x[2] += x[1], x[1] += x[0];
  x[5] += x[3], x[3] += x[1];
  const float e0 = x[0] + kCos30 * x[2] + 0.5f * x[4];
  const float e1 = x[0] - x[4];
  const float e2 = x[0] - kCos30 * x[2] + 0.5f * x[4];
  const float o0 = (x[1] + kCos30 * x[3] + 0.5f * x[5]) * kOdd3[0];
  const float o1 = (x[1] - x[5]) * kOdd3[1];
  const float o2 = (x[1] - kCos30 * x[3] + 0.5f * x[5]) * kOdd3[2];
  float t[6] = {e0 + o0, e1 + o1, e2 + o2, e2 - o2, e1 - o1, e0 - o0};
  for (int k = 0; k < 6; ++k) t[k] *= kShortOutput[k];
  for (int n = 0; n <= 2; ++n) out[n] += kShortWindow[n] * t[n + 3];
  for (int n = 3; n <= 5; ++n) out[n] -= kShortWindow[n] * t[8 - n];
  for (int n = 6; n <= 8; ++n) out[n] -= kShortWindow[11 - n] * t[8 - n];
  for (int n = 9; n <= 11; ++n) out[n] -= kShortWindow[11 - n] * t[n - 9];
}

}  // namespace

void imdct(float* in, uint32_t block_type, float* out) {
  if (block_type != 2) {
    imdct36(in, imdct_windows().value[block_type & 3], out);
    return;
  }
  for (int n = 0; n < 36; ++n) out[n] = 0.0f;
  for (int w = 0; w < 3; ++w) imdct12(in + w, out + 6 + 6 * w);
}

}  // namespace vemla
