// The frame sequence of Layers I and II: allocation, scale factor selection, CRC check, scale factors, then
// the samples group by group into the synthesis filters.
#pragma once

#include <algorithm>
#include <cstddef>

#include "subband.h"

namespace vemla {

class Layer12Decoder {
 public:
  Layer12Decoder() = default;
  ~Layer12Decoder() { destroy_subbands(); }
  Layer12Decoder(const Layer12Decoder&) = delete;
  Layer12Decoder& operator=(const Layer12Decoder&) = delete;

  // Decodes the frame in the stream's buffer. False, with no samples and no end_frame, when an allocation is
  // forbidden or the frame's CRC does not match (once a frame's CRC has matched). filter2 is null unless two
  // channels are put out. A two-channel frame gives filter1 channel 1 (Stereo, Left), channel 2 (Right) or
  // their mean (Mono), and filter2 channel 2; a one-channel frame gives its channel to both.
  bool decode_frame(Ibitstream& stream, const Header& header, Crc16* crc, ChannelChoice choice,
                    SynthesisFilter& filter1, SynthesisFilter* filter2, Obuffer& output);

 private:
  void create_subbands(const Header& header);
  void destroy_subbands();
  // Reads the frame's 12 groups of the planned channels, each delivered as it is read.
  void read_layer1(Ibitstream& stream);
  void read_layer2(Ibitstream& stream);
  void deliver(unsigned slots);

  // One frame's subband objects, built in place in storage reused for every frame.
  static constexpr size_t kSlotSize =
      std::max({sizeof(SubbandLayer1), sizeof(SubbandLayer1Stereo), sizeof(SubbandLayer1IntensityStereo),
                sizeof(SubbandLayer2), sizeof(SubbandLayer2Stereo), sizeof(SubbandLayer2IntensityStereo)});
  alignas(std::max_align_t) std::byte storage_[32][kSlotSize];
  Subband* subbands_[32] = {};
  unsigned count_ = 0;
  bool crc_trusted_ = false;

  SamplePlan plan_;
  alignas(32) FrameSamples samples_ = {};
  // Where the group goes: the frame's choice and filters, for deliver.
  struct Route {
    ChannelChoice choice = ChoiceStereo;
    bool two_channels = false;
    SynthesisFilter* filter1 = nullptr;
    SynthesisFilter* filter2 = nullptr;
    Obuffer* output = nullptr;
  } route_;
};

}  // namespace vemla
