// Layer I and Layer II subband decoding (ISO/IEC 11172-3, 2.4.1.5-2.4.1.6 and 2.4.3.2-2.4.3.3): one object per
// subband of a frame reads its allocation, scale factors and sample codes, requantises the samples and hands
// them to the synthesis filters one time slot at a time.
#pragma once

#include "bitstream.h"
#include "crc.h"
#include "header.h"
#include "layer12_tables.h"
#include "synthesis.h"

namespace vemla {

class Subband {
 public:
  virtual ~Subband() = default;
  virtual void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) = 0;
  virtual void read_scale_factors(Ibitstream& stream, const Header& header) = 0;
  // True when the frame's last sample group has been read.
  virtual bool read_sample_codes(Ibitstream& stream) = 0;
  // True when the current group has been delivered. filter2 may be null.
  virtual bool deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) = 0;
  // Layer II only: the scale factor selection information.
  virtual void read_scfsi(Ibitstream& stream, Crc16* crc) { (void)stream, (void)crc; }

  // False when the allocation read is one the standard forbids (Layer I: 15); such a frame is not decoded.
  bool allocation_valid() const { return allocation_valid_; }

 protected:
  bool allocation_valid_ = true;
};

// Layer I, one channel (and the base of the two-channel classes).
class SubbandLayer1 : public Subband {
 public:
  explicit SubbandLayer1(unsigned subband) : subband_(subband) {}
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;
  bool deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) override;

 protected:
  struct Channel {
    unsigned allocation = 0;
    float scale_factor = 0.0f;
    unsigned sample_length = 0;
    float sample = 0.0f;
    float factor = 0.0f;
    float offset = 0.0f;

    void read_allocation(Ibitstream& stream, Crc16* crc, bool& valid);
    float value() const { return (sample * factor + offset) * scale_factor; }
  };
  // The sample counter runs 0..11; true when the twelfth sample was read.
  bool count_sample();

  unsigned subband_;
  unsigned sample_number_ = 0;
  Channel channel1_;
};

class SubbandLayer1Stereo : public SubbandLayer1 {
 public:
  using SubbandLayer1::SubbandLayer1;
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;
  bool deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) override;

 private:
  Channel channel2_;
};

// Joint stereo above the bound: one allocation and one sample, two scale factors.
class SubbandLayer1IntensityStereo : public SubbandLayer1 {
 public:
  using SubbandLayer1::SubbandLayer1;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) override;

 private:
  float scale_factor2_ = 0.0f;
};

// Layer II, one channel (and the base of the two-channel classes).
class SubbandLayer2 : public Subband {
 public:
  explicit SubbandLayer2(unsigned subband) : subband_(subband) {}
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;
  bool deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) override;

 protected:
  struct Channel {
    unsigned allocation = 0;
    unsigned scfsi = 0;
    float scale_factors[3] = {};
    const QuantisationClass* quantisation = nullptr;
    float samples[3] = {};

    void read_scfsi(Ibitstream& stream, Crc16* crc);
    void read_scale_factors(Ibitstream& stream);
    void select_class(const Header& header, unsigned subband);
    void read_samples(Ibitstream& stream);
    // Sample `number` of the current group, requantised.
    float requantised(unsigned number) const;
    // The same, scaled by the scale factor of its part of the frame.
    float value(unsigned number, unsigned group) const;
  };
  unsigned allocation_bits(const Header& header) const;
  void read_allocation(Ibitstream& stream, unsigned bits, Crc16* crc, Channel& channel);
  // Advances the group counter; true when the twelfth group was read.
  bool count_group();
  // Advances the sample counter within the group; true after the third sample.
  bool count_sample();

  unsigned subband_;
  unsigned group_number_ = 0;
  unsigned sample_number_ = 0;
  Channel channel1_;
};

class SubbandLayer2Stereo : public SubbandLayer2 {
 public:
  using SubbandLayer2::SubbandLayer2;
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;
  bool deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) override;

 private:
  Channel channel2_;
};

// Joint stereo above the bound: one allocation, class and set of samples; two scfsi and scale-factor sets.
class SubbandLayer2IntensityStereo : public SubbandLayer2 {
 public:
  using SubbandLayer2::SubbandLayer2;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool deliver_sample(ChannelChoice choice, SynthesisFilter* filter1, SynthesisFilter* filter2) override;

 private:
  Channel scale2_;  // channel 2's scfsi and scale factors
};

// What a two-channel subband gives the filters for each channel choice. A channel without allocation gives
// nothing; Mono averages the two channels (a missing one counts as silence), as Layer III does.
void deliver_pair(ChannelChoice choice, unsigned subband, bool has1, float y1, bool has2, float y2,
                  SynthesisFilter* filter1, SynthesisFilter* filter2);

}  // namespace vemla
