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

void SubbandLayer2::Channel::read_samples(Ibitstream& stream) {
  if (!allocation) return;
  const QuantisationClass& q = *quantisation;
  if (q.grouping) {
    const float* group = q.grouping[stream.read_bits(q.code_length)];
    samples[0] = group[0];
    samples[1] = group[1];
    samples[2] = group[2];
  } else {
    for (float& sample : samples) sample = static_cast<float>(stream.read_bits(q.code_length)) * q.factor - 1.0f;
  }
}

namespace {

// Groups 0-3, 4-7 and 8-11 take the scale factors of the first, second and third part of the frame (the
// group counter has already moved past the group).
unsigned part_of(unsigned group) { return group <= 4 ? 0 : group <= 8 ? 1 : 2; }

}  // namespace

float SubbandLayer2::Channel::requantised(unsigned number) const {
  const float x = samples[number];
  return quantisation->grouping ? x : (x + quantisation->d) * quantisation->c;
}

float SubbandLayer2::Channel::value(unsigned number, unsigned group) const {
  return requantised(number) * scale_factors[part_of(group)];
}

bool SubbandLayer2::count_group() {
  sample_number_ = 0;
  return ++group_number_ == 12;
}

bool SubbandLayer2::count_sample() { return ++sample_number_ == 3; }

void SubbandLayer2::read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) {
  read_allocation(stream, allocation_bits(header), crc, channel1_);
}

void SubbandLayer2::read_scfsi(Ibitstream& stream, Crc16* crc) { channel1_.read_scfsi(stream, crc); }

void SubbandLayer2::read_scale_factors(Ibitstream& stream, const Header& header) {
  channel1_.read_scale_factors(stream);
  channel1_.select_class(header, subband_);
}

bool SubbandLayer2::read_sample_codes(Ibitstream& stream) {
  channel1_.read_samples(stream);
  return count_group();
}

bool SubbandLayer2::deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter*) {
  if (channel1_.allocation && choice != ChoiceRight)
    filter1->put_subband_sample(channel1_.value(sample_number_, group_number_), subband_);
  return count_sample();
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

bool SubbandLayer2Stereo::read_sample_codes(Ibitstream& stream) {
  channel1_.read_samples(stream);
  channel2_.read_samples(stream);
  return count_group();
}

bool SubbandLayer2Stereo::deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) {
  const bool has1 = channel1_.allocation != 0, has2 = channel2_.allocation != 0;
  deliver_pair(choice, subband_, has1, has1 ? channel1_.value(sample_number_, group_number_) : 0.0f, has2,
               has2 ? channel2_.value(sample_number_, group_number_) : 0.0f, filter1, filter2);
  return count_sample();
}

// Channel 2 shares the allocation, the class and the samples of channel 1; its scfsi and scale factors are
// its own.
void SubbandLayer2IntensityStereo::read_scfsi(Ibitstream& stream, Crc16* crc) {
  scale2_.allocation = channel1_.allocation;
  channel1_.read_scfsi(stream, crc);
  scale2_.read_scfsi(stream, crc);
}

void SubbandLayer2IntensityStereo::read_scale_factors(Ibitstream& stream, const Header& header) {
  channel1_.read_scale_factors(stream);
  channel1_.select_class(header, subband_);
  scale2_.read_scale_factors(stream);
}

bool SubbandLayer2IntensityStereo::deliver_sample(ChannelChoice choice, SynthesisFilter* filter1,
                                                  SynthesisFilter* filter2) {
  if (channel1_.allocation) {
    const float x = channel1_.requantised(sample_number_);
    const unsigned part = part_of(group_number_);
    deliver_pair(choice, subband_, true, x * channel1_.scale_factors[part], true, x * scale2_.scale_factors[part],
                 filter1, filter2);
  }
  return count_sample();
}

}  // namespace vemla
