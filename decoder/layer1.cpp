// Layer I: ISO/IEC 11172-3, 2.4.1.5 and 2.4.3.2. Twelve samples per subband and frame, one per time slot.
#include "subband.h"

namespace vemla {

void deliver_pair(ChannelChoice choice, unsigned subband, bool has1, float y1, bool has2, float y2,
                  SynthesisFilter* filter1, SynthesisFilter* filter2) {
  switch (choice) {
    case ChoiceLeft:
      if (has1) filter1->put_subband_sample(y1, subband);
      break;
    case ChoiceRight:
      if (has2) filter1->put_subband_sample(y2, subband);
      break;
    case ChoiceMono:
      if (has1 || has2) filter1->put_subband_sample(0.5f * ((has1 ? y1 : 0.0f) + (has2 ? y2 : 0.0f)), subband);
      break;
    default:
      if (has1) filter1->put_subband_sample(y1, subband);
      if (has2 && filter2) filter2->put_subband_sample(y2, subband);
      break;
  }
}

void SubbandLayer1::Channel::read_allocation(Ibitstream& stream, Crc16* crc, bool& valid) {
  allocation = stream.read_bits(4);
  if (crc) crc->feed_bits(allocation, 4);
  if (allocation == 15) {  // forbidden (2.4.2.7, allocation): the frame is not decoded
    valid = false;
    allocation = 0;
  }
  if (allocation != 0) {
    sample_length = allocation + 1;
    factor = layer12_tables().layer1[allocation].factor;
    offset = layer12_tables().layer1[allocation].offset;
  }
}

bool SubbandLayer1::count_sample() {
  if (++sample_number_ < 12) return false;
  sample_number_ = 0;
  return true;
}

void SubbandLayer1::read_bit_allocation(Ibitstream& stream, const Header&, Crc16* crc) {
  channel1_.read_allocation(stream, crc, allocation_valid_);
}

void SubbandLayer1::read_scale_factors(Ibitstream& stream, const Header&) {
  if (channel1_.allocation) channel1_.scale_factor = layer12_tables().scale_factors[stream.read_bits(6)];
}

bool SubbandLayer1::read_sample_codes(Ibitstream& stream) {
  if (channel1_.allocation) channel1_.sample = static_cast<float>(stream.read_bits(channel1_.sample_length));
  return count_sample();
}

bool SubbandLayer1::deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter*) {
  if (channel1_.allocation && choice != ChoiceRight) filter1->put_subband_sample(channel1_.value(), subband_);
  return true;
}

void SubbandLayer1Stereo::read_bit_allocation(Ibitstream& stream, const Header&, Crc16* crc) {
  channel1_.read_allocation(stream, crc, allocation_valid_);
  channel2_.read_allocation(stream, crc, allocation_valid_);
}

void SubbandLayer1Stereo::read_scale_factors(Ibitstream& stream, const Header&) {
  const float* scale_factors = layer12_tables().scale_factors;
  if (channel1_.allocation) channel1_.scale_factor = scale_factors[stream.read_bits(6)];
  if (channel2_.allocation) channel2_.scale_factor = scale_factors[stream.read_bits(6)];
}

bool SubbandLayer1Stereo::read_sample_codes(Ibitstream& stream) {
  if (channel1_.allocation) channel1_.sample = static_cast<float>(stream.read_bits(channel1_.sample_length));
  if (channel2_.allocation) channel2_.sample = static_cast<float>(stream.read_bits(channel2_.sample_length));
  return count_sample();
}

bool SubbandLayer1Stereo::deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) {
  deliver_pair(choice, subband_, channel1_.allocation != 0, channel1_.value(), channel2_.allocation != 0,
               channel2_.value(), filter1, filter2);
  return true;
}

void SubbandLayer1IntensityStereo::read_scale_factors(Ibitstream& stream, const Header&) {
  if (!channel1_.allocation) return;
  const float* scale_factors = layer12_tables().scale_factors;
  channel1_.scale_factor = scale_factors[stream.read_bits(6)];
  scale_factor2_ = scale_factors[stream.read_bits(6)];
}

bool SubbandLayer1IntensityStereo::deliver_sample(ChannelChoice choice, SynthesisFilter* filter1,
                                                  SynthesisFilter* filter2) {
  if (!channel1_.allocation) return true;
  const float r = channel1_.sample * channel1_.factor + channel1_.offset;
  deliver_pair(choice, subband_, true, r * channel1_.scale_factor, true, r * scale_factor2_, filter1, filter2);
  return true;
}

}  // namespace vemla
