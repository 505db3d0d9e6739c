// Which instruction set the decoder's inner loops use: chosen once per process from what the processor
// offers, or forced to the portable path with the environment variable VEMLA_SIMD=portable.
#pragma once

namespace vemla {

enum class SimdLevel { Portable, Avx2 };

SimdLevel simd_level();

// Whether the processor has AVX2 and FMA, whatever VEMLA_SIMD asks for (for tests that compare the paths).
bool processor_has_avx2();

}  // namespace vemla
