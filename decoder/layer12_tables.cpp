#include "layer12_tables.h"

#include <cmath>

namespace vemla {
namespace {

// Table 3-B.4: steps and bits per code, in the order used below as class numbers 0..16. The classes of 3, 5
// and 9 steps code three samples in one word of 5, 7 and 10 bits.
constexpr unsigned kSteps[17] = {3,   5,   7,    9,    15,   31,   63,    127,   255,
                                 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
constexpr unsigned kCodeLengths[17] = {5, 7, 3, 10, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// A grouped code holds three step numbers in base `steps`, the first sample in the lowest digit. Codes past
// steps^3 are invalid; they requantise to silence.
template <unsigned Steps, unsigned Bits, unsigned Codes>
struct GroupingTable {
  float value[Codes][3] = {};
  explicit GroupingTable(float c) {
    for (unsigned k = 0; k < Steps * Steps * Steps; ++k) {
      const unsigned step[3] = {k % Steps, (k / Steps) % Steps, k / (Steps * Steps)};
      for (int i = 0; i < 3; ++i)
        value[k][i] = c * (static_cast<float>(step[i]) * std::ldexp(1.0f, 1 - static_cast<int>(Bits)) - 1.0f + 0.5f);
    }
  }
};

struct ClassTable {
  GroupingTable<3, 2, 32> grouping3{4.0f / 3.0f};
  GroupingTable<5, 3, 128> grouping5{8.0f / 5.0f};
  GroupingTable<9, 4, 1024> grouping9{16.0f / 9.0f};
  QuantisationClass classes[17];
  ClassTable() {
    for (int i = 0; i < 17; ++i) {
      const unsigned steps = kSteps[i];
      const bool grouped = steps == 3 || steps == 5 || steps == 9;
      // Bits of one sample's fraction: 2, 3, 4 for the grouped classes, else the code length.
      const int n = steps == 3 ? 2 : steps == 5 ? 3 : steps == 9 ? 4 : static_cast<int>(kCodeLengths[i]);
      QuantisationClass& q = classes[i];
      q.steps = steps;
      q.code_length = kCodeLengths[i];
      q.grouping = steps == 3 ? grouping3.value : steps == 5 ? grouping5.value : steps == 9 ? grouping9.value : nullptr;
      q.factor = std::ldexp(1.0f, 1 - static_cast<int>(kCodeLengths[i]));
      q.c = static_cast<float>(std::ldexp(1.0, n) / steps);
      q.d = grouped ? 0.5f : std::ldexp(1.0f, 1 - n);
    }
  }
};

const ClassTable& class_table() {
  static const ClassTable table;
  return table;
}

// Class numbers by allocation - 1, for the allocation tables of ISO/IEC 11172-3 Tables 3-B.2a/b (H1: subbands
// 0-2, H2: 3-10, H3: 11-22, H4: 23-29), 3-B.2c/d (L, low bit rates) and ISO/IEC 13818-3 Table B.1 (LSF4:
// subbands 0-3, LSF3: 4-10, LSF2: 11-29). Each list covers every value of its allocation field.
constexpr uint8_t kH1[15] = {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr uint8_t kH2[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16};
constexpr uint8_t kH3[7] = {0, 1, 2, 3, 4, 5, 16};
constexpr uint8_t kH4[3] = {0, 1, 16};
constexpr uint8_t kL[15] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr uint8_t kLsf4[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
constexpr uint8_t kLsf3[7] = {0, 1, 3, 4, 5, 6, 7};
constexpr uint8_t kLsf2[3] = {0, 1, 3};

}  // namespace

const Layer12Tables& layer12_tables() {
  static const Layer12Tables tables = [] {
    Layer12Tables t{};
    for (int i = 0; i < 63; ++i) t.scale_factors[i] = static_cast<float>(2.0 * std::pow(2.0, -i / 3.0));
    t.scale_factors[63] = 0.0f;
    for (int a = 1; a < 15; ++a) {
      const double levels = std::ldexp(1.0, a + 1) - 1.0;  // 2^n - 1
      t.layer1[a] = {static_cast<float>(2.0 / levels), static_cast<float>((1.0 - levels) / levels)};
    }
    return t;
  }();
  return tables;
}

namespace {

enum AllocationKind { kLsf, kLowRate, kHighRate };

Layer2Allocation make_allocation(AllocationKind kind) {
  Layer2Allocation a{};
  for (unsigned s = 0; s < 32; ++s) {
    const uint8_t* list;
    if (kind == kLsf) {
      a.bits[s] = s <= 3 ? 4 : s <= 10 ? 3 : 2;
      list = s <= 3 ? kLsf4 : s <= 10 ? kLsf3 : kLsf2;
    } else if (kind == kLowRate) {
      a.bits[s] = s < 2 ? 4 : 3;
      list = kL;
    } else {
      a.bits[s] = s <= 10 ? 4 : s <= 22 ? 3 : 2;
      list = s <= 2 ? kH1 : s <= 10 ? kH2 : s <= 22 ? kH3 : kH4;
    }
    for (unsigned value = 1; value < (1u << a.bits[s]); ++value)
      a.classes[s][value] = &class_table().classes[list[value - 1]];
  }
  return a;
}

}  // namespace

const Layer2Allocation& layer2_allocation(bool lsf, unsigned index) {
  static const Layer2Allocation tables[3] = {make_allocation(kLsf), make_allocation(kLowRate),
                                             make_allocation(kHighRate)};
  return tables[lsf ? kLsf : index == 1 || index == 2 ? kLowRate : kHighRate];
}

}  // namespace vemla
