// Layer I and Layer II subband decoding (ISO/IEC 11172-3, 2.4.1.5-2.4.1.6 and 2.4.3.2-2.4.3.3): one object per
// subband of a frame reads its allocation and scale factors, and plans how its sample codes are read; the
// frame's samples are then read group by group over the whole plan (layer12.h).
#pragma once

#include "bitstream.h"
#include "crc.h"
#include "header.h"
#include "layer12_tables.h"
#include "synthesis.h"

namespace vemla {

// The samples of one channel of one subband as a frame's groups are read, in the order of the bitstream: one
// code of `bits` bits (Layer I) or a group of three by `quantisation` (Layer II), requantised, scaled by the
// scale factor of the group's third of the frame (`scale_factors`[group / 4]; Layer I has one) and put at
// `samples`[32 k] for sample k of the group. Joint stereo above the bound puts the same samples, scaled by
// the second channel's scale factors, at `samples2` as well.
struct PlannedChannel {
  const QuantisationClass* quantisation = nullptr;  // Layer II
  unsigned bits = 0;                                 // Layer I: code length, factor and offset
  float factor = 0.0f;
  float offset = 0.0f;
  const float* scale_factors = nullptr;
  float* samples = nullptr;
  const float* scale_factors2 = nullptr;
  float* samples2 = nullptr;
};

// A frame's samples as read: [channel][sample of the group][subband]. Subbands without allocation leave their
// places at 0.
using FrameSamples = float[2][3][32];

// The channels of a frame to read, in bitstream order.
struct SamplePlan {
  PlannedChannel channels[64];
  unsigned count = 0;
  PlannedChannel& add() { return channels[count++] = PlannedChannel{}; }
};

class Subband {
 public:
  explicit Subband(unsigned subband) : subband_(subband) {}
  virtual ~Subband() = default;

  virtual void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) = 0;
  virtual void read_scale_factors(Ibitstream& stream, const Header& header) = 0;
  // Adds the channels with an allocation to `plan`, their samples going to `samples`.
  virtual void plan(SamplePlan& plan, FrameSamples& samples) const = 0;
  // Layer II only: the scale factor selection information.
  virtual void read_scfsi(Ibitstream& stream, Crc16* crc) { (void)stream, (void)crc; }

  // False when the allocation read is one the standard forbids (Layer I: 15); such a frame is not decoded.
  bool allocation_valid() const { return allocation_valid_; }

 protected:
  unsigned subband_;
  bool allocation_valid_ = true;
};

// Layer I, one channel (and the base of the two-channel classes).
class SubbandLayer1 : public Subband {
 public:
  using Subband::Subband;
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  void plan(SamplePlan& plan, FrameSamples& samples) const override;

 protected:
  struct Channel {
    unsigned allocation = 0;
    float scale_factor = 0.0f;
    unsigned sample_length = 0;
    float factor = 0.0f;
    float offset = 0.0f;

    void read_allocation(Ibitstream& stream, Crc16* crc, bool& valid);
    // Adds this channel, when allocated, to the plan with its samples at `samples`.
    PlannedChannel* plan(SamplePlan& plan, float* samples) const;
  };

  Channel channel1_;
};

class SubbandLayer1Stereo : public SubbandLayer1 {
 public:
  using SubbandLayer1::SubbandLayer1;
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  void plan(SamplePlan& plan, FrameSamples& samples) const override;

 private:
  Channel channel2_;
};

// Joint stereo above the bound: one allocation and one sample, two scale factors.
class SubbandLayer1IntensityStereo : public SubbandLayer1 {
 public:
  using SubbandLayer1::SubbandLayer1;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  void plan(SamplePlan& plan, FrameSamples& samples) const override;

 private:
  float scale_factor2_ = 0.0f;
};

// Layer II, one channel (and the base of the two-channel classes).
class SubbandLayer2 : public Subband {
 public:
  using Subband::Subband;
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  void plan(SamplePlan& plan, FrameSamples& samples) const override;

 protected:
  struct Channel {
    unsigned allocation = 0;
    unsigned scfsi = 0;
    float scale_factors[3] = {};
    const QuantisationClass* quantisation = nullptr;

    void read_scfsi(Ibitstream& stream, Crc16* crc);
    void read_scale_factors(Ibitstream& stream);
    void select_class(const Header& header, unsigned subband);
    // Adds this channel, when allocated, to the plan with its samples at `samples`.
    PlannedChannel* plan(SamplePlan& plan, float* samples) const;
  };
  unsigned allocation_bits(const Header& header) const;
  void read_allocation(Ibitstream& stream, unsigned bits, Crc16* crc, Channel& channel);

  Channel channel1_;
};

class SubbandLayer2Stereo : public SubbandLayer2 {
 public:
  using SubbandLayer2::SubbandLayer2;
  void read_bit_allocation(Ibitstream& stream, const Header& header, Crc16* crc) override;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  void plan(SamplePlan& plan, FrameSamples& samples) const override;

 private:
  Channel channel2_;
};

// Joint stereo above the bound: one allocation, class and set of samples; two scfsi and scale-factor sets.
class SubbandLayer2IntensityStereo : public SubbandLayer2 {
 public:
  using SubbandLayer2::SubbandLayer2;
  void read_scfsi(Ibitstream& stream, Crc16* crc) override;
  void read_scale_factors(Ibitstream& stream, const Header& header) override;
  void plan(SamplePlan& plan, FrameSamples& samples) const override;

 private:
  Channel channel2_;  // channel 2's scfsi and scale factors
};

}  // namespace vemla
