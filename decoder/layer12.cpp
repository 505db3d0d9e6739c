#include "layer12.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vemla {
namespace {

template <typename Single, typename Stereo, typename Intensity>
Subband* build(void* place, const Header& header, unsigned subband) {
  if (header.mode() == SingleChannel) return new (place) Single(subband);
  if (header.mode() == JointStereo && subband >= header.intensity_stereo_bound()) return new (place) Intensity(subband);
  return new (place) Stereo(subband);
}

// The next Layer II group of three samples of a channel, requantised (before scaling).
[[gnu::always_inline]] inline void read_group(Ibitstream& stream, const QuantisationClass& q, float (&r)[3]) {
  if (q.grouping) {
    const float* group = q.grouping[stream.read_bits(q.code_length)];
    r[0] = group[0], r[1] = group[1], r[2] = group[2];
    return;
  }
  const unsigned n = q.code_length;
  uint32_t first, second, third;
  if (n <= 8) {
    // The three codes follow one another: one read gives them all.
    const uint32_t all = stream.read_bits(3 * n), mask = (1u << n) - 1;
    first = all >> (2 * n), second = (all >> n) & mask, third = all & mask;
  } else {
    first = stream.read_bits(n), second = stream.read_bits(n), third = stream.read_bits(n);
  }
  r[0] = (static_cast<float>(first) * q.factor - 1.0f + q.d) * q.c;
  r[1] = (static_cast<float>(second) * q.factor - 1.0f + q.d) * q.c;
  r[2] = (static_cast<float>(third) * q.factor - 1.0f + q.d) * q.c;
}

}  // namespace

void Layer12Decoder::create_subbands(const Header& header) {
  count_ = std::min(header.subband_count(), 32u);
  for (unsigned i = 0; i < count_; ++i) {
    void* place = storage_[i];
    subbands_[i] = header.layer() == 1
                       ? build<SubbandLayer1, SubbandLayer1Stereo, SubbandLayer1IntensityStereo>(place, header, i)
                       : build<SubbandLayer2, SubbandLayer2Stereo, SubbandLayer2IntensityStereo>(place, header, i);
  }
}

void Layer12Decoder::destroy_subbands() {
  for (unsigned i = 0; i < count_; ++i) subbands_[i]->~Subband();
  count_ = 0;
}

bool Layer12Decoder::decode_frame(Ibitstream& stream, const Header& header, Crc16* crc, ChannelChoice choice,
                                  SynthesisFilter& filter1, SynthesisFilter* filter2, Obuffer& output) {
  create_subbands(header);
  Subband** const begin = subbands_;
  Subband** const end = subbands_ + count_;

  bool valid = true;
  for (Subband** s = begin; s != end; ++s) {
    (*s)->read_bit_allocation(stream, header, crc);
    valid &= (*s)->allocation_valid();
  }
  if (header.layer() != 1)
    for (Subband** s = begin; s != end; ++s) (*s)->read_scfsi(stream, crc);
  // CRC words are trusted from the first that matches: a stream whose words never do (an encoder that
  // wrote them wrong) plays whole rather than not at all.
  if (crc) {
    if (crc->take_checksum() == header.checksum())
      crc_trusted_ = true;
    else if (crc_trusted_)
      valid = false;
  }
  if (!valid) {
    destroy_subbands();
    return false;
  }
  for (Subband** s = begin; s != end; ++s) (*s)->read_scale_factors(stream, header);

  // The allocated channels in the order their codes follow one another; the rest stay silent.
  std::memset(samples_, 0, sizeof samples_);
  plan_.count = 0;
  for (Subband** s = begin; s != end; ++s) (*s)->plan(plan_, samples_);
  route_ = {choice, header.mode() != SingleChannel, &filter1, filter2, &output};
  if (header.layer() == 1)
    read_layer1(stream);
  else
    read_layer2(stream);
  output.end_frame(1);
  destroy_subbands();
  return true;
}

// Layer I: 12 groups of one sample per subband.
void Layer12Decoder::read_layer1(Ibitstream& stream) {
  const PlannedChannel* const first = plan_.channels;
  const PlannedChannel* const last = plan_.channels + plan_.count;
  for (unsigned group = 0; group < 12; ++group) {
    for (const PlannedChannel* c = first; c != last; ++c) {
      const float r = static_cast<float>(stream.read_bits(c->bits)) * c->factor + c->offset;
      c->samples[0] = r * c->scale_factors[0];
      if (c->samples2) c->samples2[0] = r * c->scale_factors2[0];
    }
    deliver(1);
  }
}

// Layer II: 12 groups of three samples per subband; groups 0-3, 4-7 and 8-11 take the scale factors of the
// frame's three parts.
void Layer12Decoder::read_layer2(Ibitstream& stream) {
  const PlannedChannel* const first = plan_.channels;
  const PlannedChannel* const last = plan_.channels + plan_.count;
  for (unsigned group = 0; group < 12; ++group) {
    const unsigned part = group / 4;
    for (const PlannedChannel* c = first; c != last; ++c) {
      float r[3];
      read_group(stream, *c->quantisation, r);
      const float factor = c->scale_factors[part];
      c->samples[0] = r[0] * factor, c->samples[32] = r[1] * factor, c->samples[64] = r[2] * factor;
      if (c->samples2) {
        const float factor2 = c->scale_factors2[part];
        c->samples2[0] = r[0] * factor2, c->samples2[32] = r[1] * factor2, c->samples2[64] = r[2] * factor2;
      }
    }
    deliver(3);
  }
}

void Layer12Decoder::deliver(unsigned slots) {
  const Route& to = route_;
  for (unsigned i = 0; i < slots; ++i) {
    const float* first = samples_[0][i];
    const float* second = to.two_channels ? samples_[1][i] : first;
    if (to.filter2) {
      SynthesisFilter::synthesize_blocks(*to.filter1, first, *to.filter2, second, *to.output);
    } else if (to.choice == ChoiceMono && to.two_channels) {
      alignas(32) float mixed[32];
      for (int k = 0; k < 32; ++k) mixed[k] = 0.5f * (first[k] + second[k]);
      to.filter1->synthesize_block(mixed, *to.output);
    } else {
      to.filter1->synthesize_block(to.choice == ChoiceRight ? second : first, *to.output);
    }
  }
}

}  // namespace vemla
