#pragma once

#include <cstdint>

namespace vemla {

// The synthesis window D[0..511] of ISO/IEC 11172-3 Table 3-B.3, scaled by 65536 (generated).
extern const int32_t kSynthesisWindowScaled[512];

}  // namespace vemla
