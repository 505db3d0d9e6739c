// One decode pass over a stream, frame by frame: the decoder objects of a run (synthesis filters, the Layer
// III decoder, the Layer I/II subband pool) and the steps the decode loop takes for each frame.
#pragma once

#include <memory>

#include "bitstream.h"
#include "header.h"
#include "layer12.h"
#include "layer3.h"
#include "obuffer.h"
#include "synthesis.h"

namespace vemla {

class FrameDecoder {
 public:
  // `header` holds the stream's first frame, whose channel count the output keeps (output_channels) when
  // later frames change between one channel and two: a one-channel frame goes to every output channel, and
  // two channels go to one output as `choice` says, Mono where the choice is Stereo.
  FrameDecoder(Ibitstream& stream, Header& header, Obuffer& output, ChannelChoice choice,
               float scale_factor = 32768.0f);
  ~FrameDecoder();
  FrameDecoder(const FrameDecoder&) = delete;
  FrameDecoder& operator=(const FrameDecoder&) = delete;

  // Channels of the output: one when the stream is Single Channel or the choice is not Stereo.
  static unsigned output_channels(const Header& header, ChannelChoice choice);

  // Decodes the frame in the stream's buffer; crc is the register its header read gave (or null). Layer I/II
  // frames whose CRC fails give no samples, nor does an encoder's header frame. A change of layer builds or
  // drops the Layer III decoder.
  void decode_frame(Crc16* crc);
  // Drops the output's buffered audio, positions the stream at frame n (loaded on success) and forgets
  // the filter and reservoir history.
  bool seek(unsigned frame);
  // A whole pass, as every run makes it: a seek to frame 0, then every frame to the end of the stream.
  // False when the first seek fails.
  bool decode_all();

  // The synthesis filters' PCM scale from the next frame on (32768 is unity gain).
  void set_scale_factor(float scale_factor);

  // The choice for frames of the first header's kind: Left when it has one channel.
  ChannelChoice choice() const { return first_mono_ ? ChoiceLeft : choice_; }
  SynthesisFilter& filter0() { return filter0_; }
  SynthesisFilter* filter1() { return filter1_.get(); }
  LayerIII_Decoder* layer3() { return layer3_.get(); }

 private:
  Ibitstream& stream_;
  Header& header_;
  Obuffer& output_;
  // What the frame in the buffer gives each output (see the constructor).
  ChannelChoice frame_choice() const;

  ChannelChoice choice_;
  bool first_mono_;
  SynthesisFilter filter0_;
  std::unique_ptr<SynthesisFilter> filter1_;
  std::unique_ptr<LayerIII_Decoder> layer3_;
  Layer12Decoder layer12_;
  int layer_;
};

}  // namespace vemla
