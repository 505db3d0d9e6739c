// The power law of requantisation with AVX2, eight lines at a time: |q|^(4/3) gathered from the table, the
// global gain, the sign, then each line's scale factor, in the portable path's order of operations.
#include <immintrin.h>

#include <algorithm>

#include "requantise.h"

namespace vemla {

#define VEMLA_AVX2 __attribute__((target("avx2,fma")))

VEMLA_AVX2 void avx2_requantise_runs(const int32_t* quantised, const FactorRun* runs, int count, float gain,
                                     float* out) {
  if (count == 0) return;
  const int lines = runs[count - 1].end;
  // Each line's factor; a run's last vector may spill into the next run's lines, which that run rewrites.
  alignas(32) float factors[576 + 8];
  for (const FactorRun* run = runs; run < runs + count; ++run)
    for (int line = run->begin; line < run->end; line += 8)
      _mm256_storeu_ps(factors + line, _mm256_set1_ps(run->factor));

  const float* pow43 = pow43_table();
  const __m256 gains = _mm256_set1_ps(gain);
  const __m256i largest = _mm256_set1_epi32(kPow43Entries - 1);
  // Most magnitudes are below 16: their powers come from two registers by permutation, without a gather.
  const __m256i fifteen = _mm256_set1_epi32(15);
  const __m256 low_powers = _mm256_loadu_ps(pow43), high_powers = _mm256_loadu_ps(pow43 + 8);
  int line = 0;
  for (; line + 8 <= lines; line += 8) {
    const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quantised + line));
    const __m256i magnitude = _mm256_abs_epi32(q);
    if (!_mm256_testz_si256(_mm256_cmpgt_epi32(magnitude, largest), _mm256_set1_epi32(-1))) {
      // A magnitude beyond the table: these eight lines one at a time.
      for (int i = line; i < line + 8; ++i) out[i] = requantised(quantised[i], gain) * factors[i];
      continue;
    }
    __m256 table_power;
    if (_mm256_testz_si256(_mm256_cmpgt_epi32(magnitude, fifteen), _mm256_set1_epi32(-1))) {
      const __m256 by_bit3 = _mm256_castsi256_ps(_mm256_slli_epi32(magnitude, 28));
      table_power = _mm256_blendv_ps(_mm256_permutevar8x32_ps(low_powers, magnitude),
                                     _mm256_permutevar8x32_ps(high_powers, magnitude), by_bit3);
    } else {
      table_power = _mm256_i32gather_ps(pow43, magnitude, 4);
    }
    const __m256 power = _mm256_mul_ps(gains, table_power);
    // The sign of q onto the power (a negation, as the portable path's -v).
    const __m256 sign = _mm256_castsi256_ps(_mm256_and_si256(q, _mm256_set1_epi32(INT32_MIN)));
    _mm256_storeu_ps(out + line, _mm256_mul_ps(_mm256_xor_ps(power, sign), _mm256_loadu_ps(factors + line)));
  }
  for (; line < lines; ++line) out[line] = requantised(quantised[line], gain) * factors[line];
}

}  // namespace vemla
