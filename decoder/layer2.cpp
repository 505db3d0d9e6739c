// Layer II: ISO/IEC 11172-3, 2.4.1.6 and 2.4.3.3; the lower sampling frequencies, ISO/IEC 13818-3 Table B.1.
// Twelve groups of three samples per subband and frame.
#include "subband.h"

namespace vemla {

unsigned SubbandLayer2::allocation_bits(const Header& header) const {
  return layer2_allocation_bits(header.version() == 0, header.per_channel_bitrate_index(), subband_);
}

void SubbandLayer2::read_allocation(Ibitstream& stream, unsigned bits, Crc16* crc, Channel& channel) {
  channel.allocation = stream.read_bits(bits);
  if (crc) crc->feed_bits(channel.allocation, bits);
}

void SubbandLayer2::Channel::read_scfsi(Ibitstream& stream, Crc16* crc) {
  if (!allocation) return;
  scfsi = stream.read_bits(2);
  if (crc) crc->feed_bits(scfsi, 2);
}

void SubbandLayer2::Channel::read_scale_factors(Ibitstream& stream) {
  if (!allocation) return;
  const float* table = layer12_tables().scale_factors;
  float* s = scale_factors;
  // Which of the three parts of the frame share a transmitted scale factor (2.4.2.7, scfsi).
  switch (scfsi) {
    case 0:
      s[0] = table[stream.read_bits(6)];
      s[1] = table[stream.read_bits(6)];
      s[2] = table[stream.read_bits(6)];
      break;
    case 1:
      s[0] = s[1] = table[stream.read_bits(6)];
      s[2] = table[stream.read_bits(6)];
      break;
    case 2:
      s[0] = s[1] = s[2] = table[stream.read_bits(6)];
      break;
    default:
      s[0] = table[stream.read_bits(6)];
      s[1] = s[2] = table[stream.read_bits(6)];
      break;
  }
}

void SubbandLayer2::Channel::select_class(const Header& header, unsigned subband) {
  if (allocation)
    quantisation = &layer2_class(header.version() == 0, header.per_channel_bitrate_index(), subband, allocation);
}

PlannedChannel* SubbandLayer2::Channel::plan(SamplePlan& plan, float* samples) const {
  if (!allocation) return nullptr;
  PlannedChannel& c = plan.add();
  c.quantisation = quantisation;
  c.scale_factors = scale_factors;
  c.samples = samples;
  return &c;
}

void SubbandLayer2::read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) {
  read_allocation(stream, allocation_bits(header), crc, channel1_);
}

void SubbandLayer2::read_scfsi(Ibitstream& stream, Crc16* crc) { channel1_.read_scfsi(stream, crc); }

void SubbandLayer2::read_scale_factors(Ibitstream& stream, const Header& header) {
  channel1_.read_scale_factors(stream);
  channel1_.select_class(header, subband_);
}

void SubbandLayer2::plan(SamplePlan& plan, FrameSamples& samples) const {
  channel1_.plan(plan, &samples[0][0][subband_]);
}

void SubbandLayer2Stereo::read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) {
  const unsigned bits = allocation_bits(header);
  read_allocation(stream, bits, crc, channel1_);
  read_allocation(stream, bits, crc, channel2_);
}

void SubbandLayer2Stereo::read_scfsi(Ibitstream& stream, Crc16* crc) {
  channel1_.read_scfsi(stream, crc);
  channel2_.read_scfsi(stream, crc);
}

void SubbandLayer2Stereo::read_scale_factors(Ibitstream& stream, const Header& header) {
  channel1_.read_scale_factors(stream);
  channel1_.select_class(header, subband_);
  channel2_.read_scale_factors(stream);
  channel2_.select_class(header, subband_);
}

void SubbandLayer2Stereo::plan(SamplePlan& plan, FrameSamples& samples) const {
  channel1_.plan(plan, &samples[0][0][subband_]);
  channel2_.plan(plan, &samples[1][0][subband_]);
}

// Channel 2 shares the allocation, the class and the samples of channel 1; its scfsi and scale factors are
// its own.
void SubbandLayer2IntensityStereo::read_scfsi(Ibitstream& stream, Crc16* crc) {
  channel2_.allocation = channel1_.allocation;
  channel1_.read_scfsi(stream, crc);
  channel2_.read_scfsi(stream, crc);
}

void SubbandLayer2IntensityStereo::read_scale_factors(Ibitstream& stream, const Header& header) {
  channel1_.read_scale_factors(stream);
  channel1_.select_class(header, subband_);
  channel2_.read_scale_factors(stream);
}

void SubbandLayer2IntensityStereo::plan(SamplePlan& plan, FrameSamples& samples) const {
  if (PlannedChannel* c = channel1_.plan(plan, &samples[0][0][subband_])) {
    c->scale_factors2 = channel2_.scale_factors;
    c->samples2 = &samples[1][0][subband_];
  }
}

}  // namespace vemla
