// Layer I: ISO/IEC 11172-3, 2.4.1.5 and 2.4.3.2. Twelve samples per subband and frame, one per time slot.
#include "subband.h"

namespace vemla {

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
  if (channel1_.allocation) {
    const float y = channel1_.read_sample(stream) * channel1_.scale_factor;
    prepare_single<1>(&y);
  }
  return count_sample();
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
  const bool has1 = channel1_.allocation != 0, has2 = channel2_.allocation != 0;
  if (!has1 && !has2) return count_sample();
  const float y1 = has1 ? channel1_.read_sample(stream) * channel1_.scale_factor : 0.0f;
  const float y2 = has2 ? channel2_.read_sample(stream) * channel2_.scale_factor : 0.0f;
  prepare_pair<1>(&y1, &y2);
  return count_sample();
}

void SubbandLayer1IntensityStereo::read_scale_factors(Ibitstream& stream, const Header&) {
  if (!channel1_.allocation) return;
  const float* scale_factors = layer12_tables().scale_factors;
  channel1_.scale_factor = scale_factors[stream.read_bits(6)];
  scale_factor2_ = scale_factors[stream.read_bits(6)];
}

bool SubbandLayer1IntensityStereo::read_sample_codes(Ibitstream& stream) {
  if (channel1_.allocation) {
    const float r = channel1_.read_sample(stream);
    const float y1 = r * channel1_.scale_factor, y2 = r * scale_factor2_;
    prepare_pair<1>(&y1, &y2);
  }
  return count_sample();
}

}  // namespace vemla
