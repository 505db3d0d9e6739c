// Layer III frame decoding (ISO/IEC 11172-3, 2.4.1.7 and 2.4.3.4; ISO/IEC 13818-3).
#pragma once

#include "bitstream.h"
#include "header.h"
#include "obuffer.h"
#include "synthesis.h"

namespace vemla {

class LayerIII_Decoder {
 public:
  LayerIII_Decoder(Ibitstream& stream, Header& header, SynthesisFilter& left_filter, SynthesisFilter* right_filter,
                   Obuffer& output, ChannelChoice channel_choice);
  // Decodes the frame whose header and body were just read.
  void decode_frame();
  // Forgets the bit reservoir and the overlap after a reposition.
  void reset_after_seek();

 private:
  Ibitstream& stream_;
  Header& header_;
  SynthesisFilter& left_filter_;
  SynthesisFilter* right_filter_;
  Obuffer& output_;
  ChannelChoice channel_choice_;
};

}  // namespace vemla
