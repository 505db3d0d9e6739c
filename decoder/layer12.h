// The frame sequence of Layers I and II: allocation, scale factor selection, CRC check, scale factors, then
// the samples, channel by channel, and the frame's time slots into the synthesis filters.
#pragma once

#include <cstdint>

#include "crc.h"
#include "header.h"
#include "subband.h"
#include "synthesis.h"

namespace vemla {

class Layer12Decoder {
 public:
  Layer12Decoder() = default;
  Layer12Decoder(const Layer12Decoder&) = delete;
  Layer12Decoder& operator=(const Layer12Decoder&) = delete;

  // Decodes the frame in the stream's buffer. False, with no samples and no end_frame, when an allocation is
  // forbidden or the frame's CRC does not match (once a frame's CRC has matched). filter2 is null unless two
  // channels are put out. A two-channel frame gives filter1 channel 1 (Stereo, Left), channel 2 (Right) or
  // their mean (Mono), and filter2 channel 2; a one-channel frame gives its channel to both.
  bool decode_frame(Ibitstream& stream, const Header& header, Crc16* crc, ChannelChoice choice,
                    SynthesisFilter& filter1, SynthesisFilter* filter2, Obuffer& output);

 private:
  // The side information up to the CRC check: false when an allocation is forbidden (Layer I: 15).
  bool read_layer1_allocation(BitCursor& in, const SubbandLayout& layout, Crc16* crc);
  void read_layer2_allocation(BitCursor& in, const Header& header, const SubbandLayout& layout, Crc16* crc);
  // Each coded channel's allocation field of bits[s] bits, subband by subband; above the bound one field
  // serves both channels.
  void read_allocations(BitCursor& in, const SubbandLayout& layout, const unsigned* bits, Crc16* crc);
  // The scale factors, then the plan of the sample codes.
  void read_layer1_scale_factors(BitCursor& in, const SubbandLayout& layout);
  void read_layer2_scale_factors(BitCursor& in, const SubbandLayout& layout);
  // Each planned channel's codes of the frame's 12 groups, from `start`, the first group's first bit.
  void read_layer1_samples(BodyBits bits, uint32_t start);
  void read_layer2_samples(BodyBits bits, uint32_t start);
  // The next channel whose codes a group holds; above the bound its values serve channel 2 as well.
  CodedChannel& plan(const SubbandLayout& layout, unsigned channel, unsigned subband, unsigned code_bits);
  // Silences the places of the channels that the frame before wrote and this one does not.
  void clear_unwritten();
  void deliver(unsigned slots);

  // By channel and subband.
  uint8_t allocation_[2][32] = {};
  uint8_t scfsi_[2][32] = {};
  float scale_factors_[2][32][3] = {};
  const Layer2Allocation* layer2_ = nullptr;  // the allocation fields of the Layer II frame

  CodedChannel coded_[64];
  unsigned coded_count_ = 0;
  uint32_t group_bits_ = 0;  // bits of one group's codes
  uint64_t written_ = 0;     // bit 32 c + s: channel c of subband s has samples in `samples_`
  uint64_t written_before_ = 0;
  bool crc_trusted_ = false;

  // The frame's samples: [channel][time slot][subband]; places of subbands without allocation hold 0.
  alignas(32) float samples_[2][36][32] = {};
  // Where the time slots go: the frame's choice and filters, for deliver.
  struct Route {
    ChannelChoice choice = ChoiceStereo;
    bool two_channels = false;
    SynthesisFilter* filter1 = nullptr;
    SynthesisFilter* filter2 = nullptr;
    Obuffer* output = nullptr;
  } route_;
};

}  // namespace vemla
