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

PlannedChannel* SubbandLayer1::Channel::plan(SamplePlan& plan, float* samples) const {
  if (!allocation) return nullptr;
  PlannedChannel& c = plan.add();
  c.bits = sample_length;
  c.factor = factor;
  c.offset = offset;
  c.scale_factors = &scale_factor;
  c.samples = samples;
  return &c;
}

void SubbandLayer1::read_bit_allocation(Ibitstream& stream, const Header&, Crc16* crc) {
  channel1_.read_allocation(stream, crc, allocation_valid_);
}

void SubbandLayer1::read_scale_factors(Ibitstream& stream, const Header&) {
  if (channel1_.allocation) channel1_.scale_factor = layer12_tables().scale_factors[stream.read_bits(6)];
}

void SubbandLayer1::plan(SamplePlan& plan, FrameSamples& samples) const {
  channel1_.plan(plan, &samples[0][0][subband_]);
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

void SubbandLayer1Stereo::plan(SamplePlan& plan, FrameSamples& samples) const {
  channel1_.plan(plan, &samples[0][0][subband_]);
  channel2_.plan(plan, &samples[1][0][subband_]);
}

void SubbandLayer1IntensityStereo::read_scale_factors(Ibitstream& stream, const Header&) {
  if (!channel1_.allocation) return;
  const float* scale_factors = layer12_tables().scale_factors;
  channel1_.scale_factor = scale_factors[stream.read_bits(6)];
  scale_factor2_ = scale_factors[stream.read_bits(6)];
}

void SubbandLayer1IntensityStereo::plan(SamplePlan& plan, FrameSamples& samples) const {
  if (PlannedChannel* c = channel1_.plan(plan, &samples[0][0][subband_])) {
    c->scale_factors2 = &scale_factor2_;
    c->samples2 = &samples[1][0][subband_];
  }
}

}  // namespace vemla
