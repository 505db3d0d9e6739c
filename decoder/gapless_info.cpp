#include "gapless_info.h"

#include <optional>

#include "bitstream.h"
#include "header.h"
#include "itunes_smpb.h"

namespace vemla {

GaplessInfo find_gapless_info(const Header& header, const Ibitstream& stream) {
  GaplessInfo info;
  info.frame_samples = header.samples_per_frame();
  info.first_audio_frame = header.vbr_header().present() ? 1 : 0;
  if (header.layer() != 3) return info;

  std::optional<EncoderPadding> padding;
  GaplessInfo::Source source = GaplessInfo::Source::None;
  if (const VbrHeader& tag = header.vbr_header(); tag.has_encoder_padding) {
    padding = EncoderPadding{tag.encoder_delay, tag.encoder_padding};
    source = GaplessInfo::Source::Lame;
  } else if ((padding = find_itunes_smpb(stream))) {
    source = GaplessInfo::Source::Itunes;
  }
  if (!padding) return info;

  const uint64_t decoded = uint64_t{header.frame_count_estimate(stream)} * info.frame_samples;
  const uint64_t added = uint64_t{padding->delay} + padding->padding;
  if (added >= decoded || padding->padding > info.frame_samples + kDecoderDelay) return info;
  info.source = source;
  info.delay = padding->delay;
  info.padding = padding->padding;
  info.samples = decoded - added;
  return info;
}

}  // namespace vemla
