#include "layer12.h"

#include <algorithm>

namespace vemla {

bool Layer12Decoder::decode_frame(Ibitstream& stream, const Header& header, Crc16* crc, ChannelChoice choice,
                                  SynthesisFilter& filter1, SynthesisFilter* filter2, Obuffer& output) {
  const unsigned count = std::min(header.subband_count(), 32u);
  const SubbandLayout layout{count,
                             header.mode() == JointStereo ? std::min(header.intensity_stereo_bound(), count) : count,
                             header.mode() == SingleChannel ? 1u : 2u};
  const BodyBits bits(stream.body());
  BitCursor in{bits, stream.bit_position()};
  const bool layer1 = header.layer() == 1;

  bool valid = true;
  if (layer1)
    valid = read_layer1_allocation(in, layout, crc);
  else
    read_layer2_allocation(in, header, layout, crc);
  // CRC words are trusted from the first that matches: a stream whose words never do (an encoder that
  // wrote them wrong) plays whole rather than not at all.
  if (crc) {
    if (crc->take_checksum() == header.checksum())
      crc_trusted_ = true;
    else if (crc_trusted_)
      valid = false;
  }
  if (!valid) return false;

  coded_count_ = 0;
  group_bits_ = 0;
  written_ = 0;
  if (layer1)
    read_layer1_scale_factors(in, layout);
  else
    read_layer2_scale_factors(in, layout);
  clear_unwritten();

  route_ = {choice, layout.channels == 2, &filter1, filter2, &output};
  if (layer1) {
    read_layer1_samples(bits, in.position);
    deliver(12);
  } else {
    read_layer2_samples(bits, in.position);
    deliver(36);
  }
  output.end_frame(1);
  return true;
}

void Layer12Decoder::read_allocations(BitCursor& in, const SubbandLayout& layout, const unsigned* bits,
                                      Crc16* crc) {
  for (unsigned s = 0; s < layout.count; ++s) {
    const unsigned channels = s < layout.bound ? layout.channels : 1;
    for (unsigned c = 0; c < channels; ++c) {
      const unsigned allocation = in.read(bits[s]);
      if (crc) crc->feed_bits(allocation, bits[s]);
      allocation_[c][s] = static_cast<uint8_t>(allocation);
    }
    if (channels < layout.channels) allocation_[1][s] = allocation_[0][s];
  }
}

CodedChannel& Layer12Decoder::plan(const SubbandLayout& layout, unsigned channel, unsigned subband,
                                   unsigned code_bits) {
  CodedChannel& c = coded_[coded_count_++];
  c = CodedChannel{};
  c.offset = group_bits_;
  c.scale_factors = scale_factors_[channel][subband];
  c.samples = &samples_[channel][0][subband];
  group_bits_ += code_bits;
  written_ |= uint64_t{1} << (32 * channel + subband);
  if (subband >= layout.bound && layout.channels == 2) {
    c.scale_factors2 = scale_factors_[1][subband];
    c.samples2 = &samples_[1][0][subband];
    written_ |= uint64_t{1} << (32 + subband);
  }
  return c;
}

void Layer12Decoder::clear_unwritten() {
  for (uint64_t stale = written_before_ & ~written_; stale; stale &= stale - 1) {
    const int place = __builtin_ctzll(stale);
    float* samples = &samples_[place / 32][0][place % 32];
    for (int slot = 0; slot < 36; ++slot) samples[32 * slot] = 0.0f;
  }
  written_before_ = written_;
}

void Layer12Decoder::deliver(unsigned slots) {
  const Route& to = route_;
  const auto count = static_cast<int>(slots);
  const float(*first)[32] = samples_[0];
  const float(*second)[32] = to.two_channels ? samples_[1] : first;
  if (to.filter2) {
    SynthesisFilter::synthesize_slots(*to.filter1, first, *to.filter2, second, count, *to.output);
  } else if (to.choice == ChoiceMono && to.two_channels) {
    alignas(32) float mixed[36][32];
    for (int i = 0; i < count; ++i)
      for (int k = 0; k < 32; ++k) mixed[i][k] = 0.5f * (first[i][k] + second[i][k]);
    to.filter1->synthesize_slots(mixed, count, *to.output);
  } else {
    to.filter1->synthesize_slots(to.choice == ChoiceRight ? second : first, count, *to.output);
  }
}

}  // namespace vemla
