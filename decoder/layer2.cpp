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

void SubbandLayer2::Channel::read_group(Ibitstream& stream, float (&requantised)[3]) const {
  const QuantisationClass& q = *quantisation;
  if (q.grouping) {
    const float* group = q.grouping[stream.read_bits(q.code_length)];
    requantised[0] = group[0];
    requantised[1] = group[1];
    requantised[2] = group[2];
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
  requantised[0] = (static_cast<float>(first) * q.factor - 1.0f + q.d) * q.c;
  requantised[1] = (static_cast<float>(second) * q.factor - 1.0f + q.d) * q.c;
  requantised[2] = (static_cast<float>(third) * q.factor - 1.0f + q.d) * q.c;
}

void SubbandLayer2::Channel::read_scaled_group(Ibitstream& stream, unsigned group, float (&y)[3]) const {
  read_group(stream, y);
  const float factor = scale(group);
  y[0] *= factor, y[1] *= factor, y[2] *= factor;
}

bool SubbandLayer2::count_group() { return ++group_number_ == 12; }

void SubbandLayer2::read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) {
  read_allocation(stream, allocation_bits(header), crc, channel1_);
}

void SubbandLayer2::read_scfsi(Ibitstream& stream, Crc16* crc) { channel1_.read_scfsi(stream, crc); }

void SubbandLayer2::read_scale_factors(Ibitstream& stream, const Header& header) {
  channel1_.read_scale_factors(stream);
  channel1_.select_class(header, subband_);
}

bool SubbandLayer2::read_sample_codes(Ibitstream& stream) {
  if (channel1_.allocation) {
    float y[3];
    channel1_.read_scaled_group(stream, group_number_, y);
    prepare_single<3>(y);
  }
  return count_group();
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
  const bool has1 = channel1_.allocation != 0, has2 = channel2_.allocation != 0;
  if (!has1 && !has2) return count_group();
  float y1[3] = {}, y2[3] = {};
  if (has1) channel1_.read_scaled_group(stream, group_number_, y1);
  if (has2) channel2_.read_scaled_group(stream, group_number_, y2);
  prepare_pair<3>(y1, y2);
  return count_group();
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

bool SubbandLayer2IntensityStereo::read_sample_codes(Ibitstream& stream) {
  if (channel1_.allocation) {
    float r[3], y1[3], y2[3];
    channel1_.read_group(stream, r);
    const float scale1 = channel1_.scale(group_number_), scale2 = channel2_.scale(group_number_);
    for (unsigned i = 0; i < 3; ++i) y1[i] = r[i] * scale1, y2[i] = r[i] * scale2;
    prepare_pair<3>(y1, y2);
  }
  return count_group();
}

}  // namespace vemla
