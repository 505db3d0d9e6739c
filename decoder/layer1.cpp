// Layer I: ISO/IEC 11172-3, 2.4.1.5 and 2.4.3.2. Twelve samples per subband and frame, one per time slot.
#include "layer12.h"

namespace vemla {
namespace {

// Channel c's codes in the 12 groups, each its time slot's sample; joint stereo above the bound also gives
// channel 2 the same sample by its own scale factor.
template <bool Intensity>
void read_channel(BodyBits bits, uint32_t position, uint32_t group_bits, const CodedChannel& c) {
  const float scale = c.scale_factors[0];
  const float scale2 = Intensity ? c.scale_factors2[0] : 0.0f;
  for (unsigned slot = 0; slot < 12; ++slot, position += group_bits) {
    const float r = static_cast<float>(bits.at(position, c.bits)) * c.factor + c.level_offset;
    c.samples[32 * slot] = r * scale;
    if constexpr (Intensity) c.samples2[32 * slot] = r * scale2;
  }
}

}  // namespace

bool Layer12Decoder::read_layer1_allocation(BitCursor& in, const SubbandLayout& layout, Crc16* crc) {
  static constexpr unsigned kBits[32] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
                                         4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};
  read_allocations(in, layout, kBits, crc);
  bool valid = true;
  for (unsigned s = 0; s < layout.count; ++s) {
    for (unsigned c = 0; c < layout.channels; ++c) {
      if (allocation_[c][s] == 15) {  // forbidden (2.4.2.7, allocation): the frame is not decoded
        valid = false;
        allocation_[c][s] = 0;
      }
    }
  }
  return valid;
}

void Layer12Decoder::read_layer1_scale_factors(BitCursor& in, const SubbandLayout& layout) {
  const Layer12Tables& tables = layer12_tables();
  for (unsigned s = 0; s < layout.count; ++s) {
    const bool shared = s >= layout.bound;
    for (unsigned c = 0; c < layout.channels; ++c)
      if (allocation_[c][s]) scale_factors_[c][s][0] = tables.scale_factors[in.read(6)];
    // The codes follow the scale factors: plan them in the order they come.
    for (unsigned c = 0; c < (shared ? 1 : layout.channels); ++c) {
      const unsigned allocation = allocation_[c][s];
      if (!allocation) continue;
      CodedChannel& coded = plan(layout, c, s, allocation + 1);
      coded.bits = allocation + 1;
      coded.factor = tables.layer1[allocation].factor;
      coded.level_offset = tables.layer1[allocation].offset;
    }
  }
}

void Layer12Decoder::read_layer1_samples(BodyBits bits, uint32_t start) {
  for (const CodedChannel* c = coded_; c != coded_ + coded_count_; ++c) {
    if (c->samples2)
      read_channel<true>(bits, start + c->offset, group_bits_, *c);
    else
      read_channel<false>(bits, start + c->offset, group_bits_, *c);
  }
}

}  // namespace vemla
