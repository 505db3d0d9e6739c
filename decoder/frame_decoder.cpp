#include "frame_decoder.h"

namespace vemla {

FrameDecoder::FrameDecoder(Ibitstream& stream, Header& header, Obuffer& output, ChannelChoice choice,
                           float scale_factor)
    : stream_(stream),
      header_(header),
      output_(output),
      choice_(choice),
      first_mono_(header.mode() == SingleChannel),
      filter0_(0, scale_factor),
      layer_(header.layer()) {
  if (output_channels(header, choice) == 2) filter1_ = std::make_unique<SynthesisFilter>(1, scale_factor);
  if (layer_ == 3)
    layer3_ = std::make_unique<LayerIII_Decoder>(stream_, header_, filter0_, filter1_.get(), output_, choice_);
}

FrameDecoder::~FrameDecoder() = default;

unsigned FrameDecoder::output_channels(const Header& header, ChannelChoice choice) {
  return header.mode() == SingleChannel || choice != ChoiceStereo ? 1 : 2;
}

void FrameDecoder::decode_frame(Crc16* crc) {
  // An encoder's Xing, Info or VBRI frame is not audio: no samples, and the reservoir never sees its bytes.
  if (header_.tag_frame()) return;
  if (header_.layer() != layer_) {
    if (header_.layer() == 3)
      layer3_ = std::make_unique<LayerIII_Decoder>(stream_, header_, filter0_, filter1_.get(), output_, choice_);
    else if (layer_ == 3)
      layer3_.reset();
    layer_ = header_.layer();
  }
  if (layer_ == 3)
    layer3_->decode_frame();
  else
    layer12_.decode_frame(stream_, header_, crc, frame_choice(), filter0_, filter1_.get(), output_);
}

ChannelChoice FrameDecoder::frame_choice() const {
  // Two outputs: Stereo, which also gives a one-channel frame to both.
  if (filter1_) return ChoiceStereo;
  if (header_.mode() == SingleChannel) return ChoiceLeft;
  return choice_ == ChoiceStereo ? ChoiceMono : choice_;
}

bool FrameDecoder::seek(unsigned frame) {
  output_.clear();
  if (!header_.seek_to_frame(stream_, frame)) return false;
  filter0_.reset();
  if (filter1_) filter1_->reset();
  if (layer3_) layer3_->reset_after_seek();
  return true;
}

void FrameDecoder::set_scale_factor(float scale_factor) {
  filter0_.set_scale_factor(scale_factor);
  if (filter1_) filter1_->set_scale_factor(scale_factor);
}

bool FrameDecoder::decode_all() {
  if (!seek(0)) return false;
  Crc16* crc = header_.frame_crc();
  do {
    decode_frame(crc);
  } while (header_.read_frame_header(stream_, crc));
  return true;
}

}  // namespace vemla
