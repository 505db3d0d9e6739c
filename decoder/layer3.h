// Layer III frame decoding (ISO/IEC 11172-3, 2.4.1.7 and 2.4.3.4; ISO/IEC 13818-3 for the lower sampling
// frequencies): side information, main data through the bit reservoir, scale factors, Huffman decoding,
// requantisation, stereo processing and the hybrid filterbank, one frame at a time.
#pragma once

#include <cstdint>

#include "bit_reservoir.h"
#include "bitstream.h"
#include "header.h"
#include "layer3_side_info.h"
#include "obuffer.h"
#include "scalefactor_bands.h"
#include "stereo.h"
#include "synthesis.h"

namespace vemla {

class LayerIII_Decoder {
 public:
  // Granules per frame and the band table come from the header current now (version and sampling frequency
  // stay for the stream); the channels come from each frame's own header. With right_filter both output
  // channels are made: a two-channel frame's channel 1 goes there, a one-channel frame goes to both. Without
  // it one is made: a two-channel frame gives the channel `channel_choice` names, or their mix for Mono (and
  // Stereo).
  LayerIII_Decoder(Ibitstream& stream, Header& header, SynthesisFilter& left_filter,
                   SynthesisFilter* right_filter, Obuffer& output, ChannelChoice channel_choice);
  LayerIII_Decoder(const LayerIII_Decoder&) = delete;
  LayerIII_Decoder& operator=(const LayerIII_Decoder&) = delete;

  // Decodes the frame whose header and body were just read. A frame whose main data begins before the
  // reservoir's oldest byte, or whose side information is invalid, gives no samples and no end_frame.
  void decode_frame();
  // Forgets the bit reservoir and the overlap after a reposition.
  void reset_after_seek();

  const Bit_Reserve& reservoir() const { return state_.reservoir; }
  // Reservoir byte position where the next frame's main data begins.
  int32_t frame_start() const { return state_.frame_start; }

 private:
  void read_scale_factors(unsigned ch, unsigned gr);
  void decode_granule(unsigned gr, unsigned channels);
  // Reordering and the hybrid filterbank of channel ch (its spectrum overwritten), into the time slots and
  // with the overlap of output channel `out`.
  void transform_channel(unsigned ch, unsigned out, unsigned gr, float* spectrum, int lines);
  // The synthesis of the output channels' time slots of the frame's granules, at once: the matrixing takes
  // eight blocks at a time, which 36 blocks a channel fill better than 18.
  void synthesize_outputs();

  Ibitstream& stream_;
  Header& header_;
  SynthesisFilter& left_filter_;
  SynthesisFilter* right_filter_;
  Obuffer& output_;
  const ChannelChoice channel_choice_;
  const unsigned granules_;
  const BandTable& bands_;

  // What one frame hands to the next.
  struct State {
    Bit_Reserve reservoir;
    int32_t frame_start = 0;
    int32_t held_bytes = 0;  // main data appended since the reservoir was new, up to its size
    Layer3SideInfo side_info;
    ScaleFactorSet scale_factors[2];   // granule 1 may reuse granule 0's (scfsi)
    ScaleFactorSet illegal_positions;  // LSF intensity stereo: the position that means "not coded"
    // Second halves of the last inverse transforms of each output channel, [time slot][subband] as
    // hybrid_synthesis keeps them: what an output heard goes on across a change of the channel count.
    alignas(32) float overlap[2][18][32] = {};
  } state_;

  // Working storage of one granule (the time slots: of the frame), overwritten every time.
  struct Scratch {
    alignas(32) int32_t quantised[576];
    alignas(32) float dequantised[2][576];
    alignas(32) float stereo_out[2][576];
    alignas(32) float hybrid_buffer[576];  // a short block's spectrum, reordered
    alignas(32) float slots[2][36][32];    // each output channel's granules for its synthesis filter
    StereoScratch stereo;
    uint8_t main_data[Ibitstream::kBodyBytes];
  } scratch_;
};

}  // namespace vemla
