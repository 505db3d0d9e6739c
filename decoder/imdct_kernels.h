// The inverse MDCT's arithmetic, written once for a value type V: float for one subband at a time, or a
// vector of floats (GCC/Clang vector types such as __m256) for several subbands in lanes. Every lane goes
// through the same operations in the same order as the float version, so both give the same bits.
#pragma once

namespace vemla::imdct_kernels {

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

// y[i] = sum over j of x[j s] cos(pi (2i + 1) j / 18), i, j = 0..8: the 9-point transform, from its
// symmetry y[8 - i] = sum of (-1)^j x[j s] cos(pi (2i + 1) j / 18).
template <class V>
[[gnu::always_inline]] inline void transform9(const V* x, int s, V* y) {
  const V x0 = x[0], x1 = x[s], x2 = x[2 * s], x3 = x[3 * s], x4 = x[4 * s];
  const V x5 = x[5 * s], x6 = x[6 * s], x7 = x[7 * s], x8 = x[8 * s];
  const V half6 = 0.5f * x6;
  const V e0 = x0 + kCos20 * x2 + kCos40 * x4 + half6 + kCos80 * x8;
  const V e1 = x0 + 0.5f * (x2 - x4 - x8) - x6;
  const V e2 = x0 - kCos80 * x2 - kCos20 * x4 + half6 + kCos40 * x8;
  const V e3 = x0 - kCos40 * x2 + kCos80 * x4 + half6 - kCos20 * x8;
  const V o0 = kCos10 * x1 + kCos30 * x3 + kCos50 * x5 + kCos70 * x7;
  const V o1 = kCos30 * (x1 - x5 - x7);
  const V o2 = kCos50 * x1 - kCos30 * x3 - kCos70 * x5 + kCos10 * x7;
  const V o3 = kCos70 * x1 - kCos30 * x3 + kCos10 * x5 - kCos50 * x7;
  y[0] = e0 + o0, y[8] = e0 - o0;
  y[1] = e1 + o1, y[7] = e1 - o1;
  y[2] = e2 + o2, y[6] = e2 - o2;
  y[3] = e3 + o3, y[5] = e3 - o3;
  y[4] = x0 - x2 + x4 - x6 + x8;
}

// The 36-point transform of block types 0, 1 and 3: out[36] from a[18] (overwritten) with the window that
// carries the output factors, as 36 floats or as 36 values of V.
template <class V, class W>
[[gnu::always_inline]] inline void imdct36(V* a, const W* window, V* out) {
  for (int k = 17; k >= 1; --k) a[k] += a[k - 1];
  for (int k = 17; k >= 3; k -= 2) a[k] += a[k - 2];
  V e[9], o[9];
  transform9(a, 2, e);
  transform9(a + 1, 2, o);
  V t[18];
  for (int i = 0; i < 9; ++i) {
    const V odd = o[i] * kOdd9[i];
    t[i] = e[i] + odd;
    t[17 - i] = e[i] - odd;
  }
  for (int n = 0; n <= 8; ++n) out[n] = -t[9 + n] * window[n];
  for (int n = 9; n <= 26; ++n) out[n] = t[26 - n] * window[n];
  for (int n = 27; n <= 35; ++n) out[n] = t[n - 27] * window[n];
}

// One short window: X[k] = in[3k], k = 0..5, added into out[0..11].
template <class V>
[[gnu::always_inline]] inline void imdct12(const V* in, V* out) {
  V x[6];
  for (int k = 0; k < 6; ++k) x[k] = in[3 * k];
  x[5] += x[4], x[4] += x[3], x[3] += x[2], x[2] += x[1], x[1] += x[0];
  x[5] += x[3], x[3] += x[1];
  const V e0 = x[0] + kCos30 * x[2] + 0.5f * x[4];
  const V e1 = x[0] - x[4];
  const V e2 = x[0] - kCos30 * x[2] + 0.5f * x[4];
  const V o0 = (x[1] + kCos30 * x[3] + 0.5f * x[5]) * kOdd3[0];
  const V o1 = (x[1] - x[5]) * kOdd3[1];
  const V o2 = (x[1] - kCos30 * x[3] + 0.5f * x[5]) * kOdd3[2];
  V t[6] = {e0 + o0, e1 + o1, e2 + o2, e2 - o2, e1 - o1, e0 - o0};
  for (int k = 0; k < 6; ++k) t[k] *= kShortOutput[k];
  for (int n = 0; n <= 2; ++n) out[n] += kShortWindow[n] * t[n + 3];
  for (int n = 3; n <= 5; ++n) out[n] -= kShortWindow[n] * t[8 - n];
  for (int n = 6; n <= 8; ++n) out[n] -= kShortWindow[11 - n] * t[8 - n];
  for (int n = 9; n <= 11; ++n) out[n] -= kShortWindow[11 - n] * t[n - 9];
}

// The three short transforms of block type 2: in[w + 3k] is value k of window w; out[0..5] and out[30..35]
// stay 0.
template <class V>
[[gnu::always_inline]] inline void imdct_short(const V* in, V* out) {
  for (int n = 0; n < 36; ++n) out[n] = V{};
  for (int w = 0; w < 3; ++w) imdct12(in + w, out + 6 + 6 * w);
}

}  // namespace vemla::imdct_kernels
