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

// What the subbands of a frame give the two synthesis filters for one sample group:
// [filter][sample of the group][subband]. Subbands without allocation leave their places at 0.
using PreparedSlots = float[2][3][32];

class Subband {
 public:
  // `prepared` is where read_sample_codes puts each group's samples for the filters.
  Subband(unsigned subband, ChannelChoice choice, PreparedSlots& prepared)
      : subband_(subband), choice_(choice), prepared_(prepared) {}
  virtual ~Subband() = default;

  virtual void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) = 0;
  virtual void read_scale_factors(Ibitstream& stream, const Header& header) = 0;
  // Reads the next sample group and puts what each filter gets from it, for the channel choice, into the
  // prepared slots. True when the frame's last group has been read.
  virtual bool read_sample_codes(Ibitstream& stream) = 0;
  // Layer II only: the scale factor selection information.
  virtual void read_scfsi(Ibitstream& stream, Crc16* crc) { (void)stream, (void)crc; }

  // False when the allocation read is one the standard forbids (Layer I: 15); such a frame is not decoded.
  bool allocation_valid() const { return allocation_valid_; }

 protected:
  // The n samples of a group of a two-channel subband (y1, y2: scaled, 0 for a channel without allocation)
  // for each channel choice; Mono averages the two channels, as Layer III does.
  template <unsigned n>
  void prepare_pair(const float* y1, const float* y2) {
    float(&first)[3][32] = prepared_[0];
    switch (choice_) {
      case ChoiceLeft:
        for (unsigned i = 0; i < n; ++i) first[i][subband_] = y1[i];
        break;
      case ChoiceRight:
        for (unsigned i = 0; i < n; ++i) first[i][subband_] = y2[i];
        break;
      case ChoiceMono:
        for (unsigned i = 0; i < n; ++i) first[i][subband_] = 0.5f * (y1[i] + y2[i]);
        break;
      default:
        for (unsigned i = 0; i < n; ++i) first[i][subband_] = y1[i], prepared_[1][i][subband_] = y2[i];
        break;
    }
  }
  // The n samples of a group of a one-channel subband: filter 1 gets them unless the choice is Right, and
  // with Stereo (a one-channel frame in a two-channel output) filter 2 too.
  template <unsigned n>
  void prepare_single(const float* y) {
    if (choice_ == ChoiceRight) return;
    for (unsigned i = 0; i < n; ++i) prepared_[0][i][subband_] = y[i];
    if (choice_ == ChoiceStereo)
      for (unsigned i = 0; i < n; ++i) prepared_[1][i][subband_] = y[i];
  }

  unsigned subband_;
  ChannelChoice choice_;
  bool allocation_valid_ = true;

 private:
  PreparedSlots& prepared_;
};

// Layer I, one channel (and the base of the two-channel classes).
class SubbandLayer1 : public Subband {
 public:
  SubbandLayer1(unsigned subband, ChannelChoice choice, PreparedSlots& prepared)
      : Subband(subband, choice, prepared) {}
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;

 protected:
  struct Channel {
    unsigned allocation = 0;
    float scale_factor = 0.0f;
    unsigned sample_length = 0;
    float factor = 0.0f;
    float offset = 0.0f;

    void read_allocation(Ibitstream& stream, Crc16* crc, bool& valid);
    // The next sample code of an allocated channel, requantised (before scaling).
    float read_sample(Ibitstream& stream) const {
      return static_cast<float>(stream.read_bits(sample_length)) * factor + offset;
    }
  };
  // The sample counter runs 0..11; true when the twelfth sample was read.
  bool count_sample();

  unsigned sample_number_ = 0;
  Channel channel1_;
};

class SubbandLayer1Stereo : public SubbandLayer1 {
 public:
  using SubbandLayer1::SubbandLayer1;
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;

 private:
  Channel channel2_;
};

// Joint stereo above the bound: one allocation and one sample, two scale factors.
class SubbandLayer1IntensityStereo : public SubbandLayer1 {
 public:
  using SubbandLayer1::SubbandLayer1;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;

 private:
  float scale_factor2_ = 0.0f;
};

// Layer II, one channel (and the base of the two-channel classes).
class SubbandLayer2 : public Subband {
 public:
  SubbandLayer2(unsigned subband, ChannelChoice choice, PreparedSlots& prepared)
      : Subband(subband, choice, prepared) {}
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;

 protected:
  struct Channel {
    unsigned allocation = 0;
    unsigned scfsi = 0;
    float scale_factors[3] = {};
    const QuantisationClass* quantisation = nullptr;

    void read_scfsi(Ibitstream& stream, Crc16* crc);
    void read_scale_factors(Ibitstream& stream);
    void select_class(const Header& header, unsigned subband);
    // The scale factor of group `group`: groups 0-3, 4-7 and 8-11 take those of the frame's three parts.
    float scale(unsigned group) const { return scale_factors[group / 4]; }
    // Reads the next group of an allocated channel, requantised (before scaling).
    [[gnu::always_inline]] inline void read_group(Ibitstream& stream, float (&requantised)[3]) const;
    // Reads group `group` (0..11) and scales it by the scale factor of its third of the frame.
    [[gnu::always_inline]] inline void read_scaled_group(Ibitstream& stream, unsigned group, float (&y)[3]) const;
  };
  unsigned allocation_bits(const Header& header) const;
  void read_allocation(Ibitstream& stream, unsigned bits, Crc16* crc, Channel& channel);
  // Advances the group counter; true when the twelfth group was read.
  bool count_group();

  unsigned group_number_ = 0;
  Channel channel1_;
};

class SubbandLayer2Stereo : public SubbandLayer2 {
 public:
  using SubbandLayer2::SubbandLayer2;
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;

 private:
  Channel channel2_;
};

// Joint stereo above the bound: one allocation, class and set of samples; two scfsi and scale-factor sets.
class SubbandLayer2IntensityStereo : public SubbandLayer2 {
 public:
  using SubbandLayer2::SubbandLayer2;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  bool read_sample_codes(Ibitstream& stream) override;

 private:
  Channel channel2_;  // channel 2's scfsi and scale factors
};

}  // namespace vemla
