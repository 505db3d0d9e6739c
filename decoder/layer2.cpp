// Layer II: ISO/IEC 11172-3, 2.4.1.6 and 2.4.3.3; the lower sampling frequencies, ISO/IEC 13818-3 Table B.1.
// Twelve groups of three samples per subband and frame.
#include "layer12.h"

namespace vemla {
namespace {

// A channel's three samples of each group, requantised and scaled by the scale factor of the group's third
// of the frame; joint stereo above the bound also gives channel 2 the same samples by its own scale factors.
template <bool Grouped, bool Intensity>
void read_channel(BodyBits bits, uint32_t position, uint32_t group_bits, const CodedChannel& c) {
  const QuantisationClass& q = *c.quantisation;
  const unsigned n = q.code_length;
  const uint32_t mask = (1u << n) - 1;
  float* out = c.samples;
  float* out2 = c.samples2;
  for (unsigned part = 0; part < 3; ++part) {
    const float scale = c.scale_factors[part];
    const float scale2 = Intensity ? c.scale_factors2[part] : 0.0f;
    for (unsigned group = 0; group < 4; ++group, position += group_bits, out += 96, out2 += Intensity ? 96 : 0) {
      float r[3];
      if constexpr (Grouped) {
        const float* values = q.grouping[bits.at(position, n)];
        r[0] = values[0], r[1] = values[1], r[2] = values[2];
      } else {
        // Three codes of up to 16 bits follow one another: one read gives them all.
        const uint64_t all = bits.at(position, 3 * n);
        const auto first = static_cast<uint32_t>(all >> (2 * n)), second = static_cast<uint32_t>(all >> n) & mask,
                   third = static_cast<uint32_t>(all) & mask;
        r[0] = (static_cast<float>(first) * q.factor - 1.0f + q.d) * q.c;
        r[1] = (static_cast<float>(second) * q.factor - 1.0f + q.d) * q.c;
        r[2] = (static_cast<float>(third) * q.factor - 1.0f + q.d) * q.c;
      }
      out[0] = r[0] * scale, out[32] = r[1] * scale, out[64] = r[2] * scale;
      if constexpr (Intensity) out2[0] = r[0] * scale2, out2[32] = r[1] * scale2, out2[64] = r[2] * scale2;
    }
  }
}

// Which of the three parts of the frame share a transmitted scale factor (2.4.2.7, scfsi): by a table
// rather than by cases, which the processor could not foresee.
void read_scale_factors(BitCursor& in, unsigned scfsi, const float* table, float (&s)[3]) {
  static constexpr uint8_t kCodes[4] = {3, 2, 1, 2};
  static constexpr uint8_t kCodeOfPart[4][3] = {{0, 1, 2}, {0, 0, 1}, {0, 0, 0}, {0, 1, 1}};
  const auto all = static_cast<uint32_t>(in.bits.at(in.position, 18));
  const uint32_t codes[3] = {all >> 12, (all >> 6) & 63, all & 63};
  in.position += 6 * kCodes[scfsi];
  for (int part = 0; part < 3; ++part) s[part] = table[codes[kCodeOfPart[scfsi][part]]];
}

}  // namespace

void Layer12Decoder::read_layer2_allocation(BitCursor& in, const Header& header, const SubbandLayout& layout,
                                            Crc16* crc) {
  layer2_ = &layer2_allocation(header.version() == 0, header.per_channel_bitrate_index());
  read_allocations(in, layout, layer2_->bits, crc);
  for (unsigned s = 0; s < layout.count; ++s) {
    for (unsigned c = 0; c < layout.channels; ++c) {
      if (!allocation_[c][s]) continue;
      scfsi_[c][s] = static_cast<uint8_t>(in.read(2));
      if (crc) crc->feed_bits(scfsi_[c][s], 2);
    }
  }
}

void Layer12Decoder::read_layer2_scale_factors(BitCursor& in, const SubbandLayout& layout) {
  const float* table = layer12_tables().scale_factors;
  for (unsigned s = 0; s < layout.count; ++s)
    for (unsigned c = 0; c < layout.channels; ++c)
      if (allocation_[c][s]) read_scale_factors(in, scfsi_[c][s] & 3, table, scale_factors_[c][s]);
  // The codes of a group, in the order they come: by subband, then channel; one set above the bound.
  for (unsigned s = 0; s < layout.count; ++s) {
    const bool shared = s >= layout.bound;
    for (unsigned c = 0; c < (shared ? 1 : layout.channels); ++c) {
      const unsigned allocation = allocation_[c][s];
      if (!allocation) continue;
      const QuantisationClass* q = layer2_->classes[s][allocation];
      CodedChannel& coded = plan(layout, c, s, q->grouping ? q->code_length : 3 * q->code_length);
      coded.quantisation = q;
    }
  }
}

void Layer12Decoder::read_layer2_samples(BodyBits bits, uint32_t start) {
  for (const CodedChannel* c = coded_; c != coded_ + coded_count_; ++c) {
    const uint32_t position = start + c->offset;
    const bool grouped = c->quantisation->grouping != nullptr;
    if (c->samples2) {
      if (grouped)
        read_channel<true, true>(bits, position, group_bits_, *c);
      else
        read_channel<false, true>(bits, position, group_bits_, *c);
    } else if (grouped) {
      read_channel<true, false>(bits, position, group_bits_, *c);
    } else {
      read_channel<false, false>(bits, position, group_bits_, *c);
    }
  }
}

}  // namespace vemla
