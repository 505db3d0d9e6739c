#include "layer3.h"

namespace vemla {

LayerIII_Decoder::LayerIII_Decoder(Ibitstream& stream, Header& header, SynthesisFilter& left_filter,
                                   SynthesisFilter* right_filter, Obuffer& output, ChannelChoice channel_choice)
    : stream_(stream),
      header_(header),
      left_filter_(left_filter),
      right_filter_(right_filter),
      output_(output),
      channel_choice_(channel_choice) {}

// Not decoded yet: Layer III frames give no samples.
void LayerIII_Decoder::decode_frame() {}

void LayerIII_Decoder::reset_after_seek() {}

}  // namespace vemla
