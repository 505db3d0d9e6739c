#include "layer3.h"

#include <algorithm>
#include <cstring>

#include "huffman.h"
#include "hybrid_filterbank.h"
#include "requantise.h"

namespace vemla {
namespace {

const BandTable& bands_for(const Header& header) {
  return band_table[band_row(header.version_code(), header.sample_frequency())];
}

}  // namespace

LayerIII_Decoder::LayerIII_Decoder(Ibitstream& stream, Header& header, SynthesisFilter& left_filter,
                                   SynthesisFilter* right_filter, Obuffer& output,
                                   ChannelChoice channel_choice)
    : stream_(stream),
      header_(header),
      left_filter_(left_filter),
      right_filter_(right_filter),
      output_(output),
      channel_choice_(channel_choice),
      granules_(header.version() == 1 ? 2 : 1),
      bands_(bands_for(header)) {}

void LayerIII_Decoder::reset_after_seek() {
  state_.reservoir = Bit_Reserve();
  state_.frame_start = 0;
  state_.held_bytes = 0;
  std::memset(state_.overlap, 0, sizeof state_.overlap);
}

void LayerIII_Decoder::decode_frame() {
  Bit_Reserve& reservoir = state_.reservoir;
  Layer3SideInfo& side_info = state_.side_info;
  const unsigned channels = header_.channels();
  const bool valid = read_side_information(stream_, header_.version(), channels, side_info);

  // The frame's main data joins the reservoir whatever follows, so that later frames can reach back into it.
  const int slots = std::clamp(header_.main_data_slots(), 0, static_cast<int>(Ibitstream::kBodyBytes));
  stream_.read_bytes(scratch_.main_data, static_cast<unsigned>(slots));
  reservoir.append_bytes(scratch_.main_data, slots);
  const int32_t held = state_.held_bytes;
  state_.held_bytes = std::min(held + slots, Bit_Reserve::kRingBytes);

  // Where the previous frame's main data ended, in whole bytes.
  int32_t main_data_end = reservoir.bits_consumed() / 8;
  if (const int32_t partial = reservoir.bits_consumed() % 8; partial != 0) {
    reservoir.take_bits(static_cast<uint32_t>(8 - partial));
    ++main_data_end;
  }
  const int32_t main_data_start = state_.frame_start - static_cast<int32_t>(side_info.main_data_begin);
  int32_t bytes_to_discard = main_data_start - main_data_end;
  state_.frame_start += slots;
  // The main data begins before the oldest byte held (start of the stream, or after a seek).
  if (static_cast<int32_t>(side_info.main_data_begin) > held) return;
  if (bytes_to_discard < 0) {
    // The frame before read past where this one's main data begins, as damaged side information makes it
    // do: reading starts over there, and the frames that follow keep their sound.
    reservoir.set_bits_consumed(8 * main_data_start);
    main_data_end = main_data_start;
    bytes_to_discard = 0;
  }

  if (main_data_end > Bit_Reserve::kRingBytes) {
    // Both clocks move back by one ring length; the read position in the ring stays where it is.
    state_.frame_start -= Bit_Reserve::kRingBytes;
    reservoir.unread_bytes(Bit_Reserve::kRingBytes);
  }
  // Ancillary data between the previous frame's main data and this frame's.
  reservoir.skip_bits(8 * static_cast<uint32_t>(bytes_to_discard));

  // The forbidden block type leaves the frame silent; its main data stays for the frames that follow.
  if (!valid) return;

  for (unsigned gr = 0; gr < granules_; ++gr) decode_granule(gr, channels);
  synthesize_outputs();
  output_.end_frame(1);
}

void LayerIII_Decoder::read_scale_factors(unsigned ch, unsigned gr) {
  Layer3SideInfo::Channel& channel = state_.side_info.ch[ch];
  if (header_.version() == 1) {
    read_mpeg1_scale_factors(state_.reservoir, channel.gr[gr], channel.scfsi, gr, state_.scale_factors[ch]);
  } else {
    // mode_extension means something in joint stereo only.
    const bool intensity_right =
        ch == 1 && header_.mode() == JointStereo && (header_.mode_extension() & 1) != 0;
    read_lsf_scale_factors(state_.reservoir, channel.gr[gr], intensity_right, state_.scale_factors[ch],
                           &state_.illegal_positions);
  }
}

void LayerIII_Decoder::decode_granule(unsigned gr, unsigned channels) {
  // Lines from `lines` on are 0 in every channel: the later stages skip them.
  int lines = 0;
  for (unsigned ch = 0; ch < channels; ++ch) {
    const int32_t part2_start = state_.reservoir.bits_consumed();
    read_scale_factors(ch, gr);
    const GranuleInfo& granule = state_.side_info.ch[ch].gr[gr];
    const int extent = decode_spectrum(state_.reservoir, granule, bands_, part2_start, scratch_.quantised);
    dequantise(scratch_.quantised, granule, state_.scale_factors[ch], bands_, scratch_.dequantised[ch],
               extent);
    lines = std::max(lines, extent);
  }

  if (channels == 1) {
    if (right_filter_) {
      // Both outputs hear the one channel, each through its own overlap.
      std::copy(scratch_.dequantised[0], scratch_.dequantised[0] + 576, scratch_.stereo_out[1]);
      transform_channel(0, 1, gr, scratch_.stereo_out[1], lines);
    }
    transform_channel(0, 0, gr, scratch_.dequantised[0], lines);
    return;
  }
  const GranuleInfo& left = state_.side_info.ch[0].gr[gr];
  const bool joint = header_.mode() == JointStereo;
  StereoMode mode;
  mode.ms = joint && (header_.mode_extension() & 2) != 0;
  mode.intensity = joint && (header_.mode_extension() & 1) != 0;
  mode.lsf = header_.version() == 0;
  // The intensity-coded channel's own scalefac_compress (ISO/IEC 13818-3, 2.4.3.2).
  mode.intensity_scale = state_.side_info.ch[1].gr[gr].scalefac_compress & 1;
  mode.illegal_positions = &state_.illegal_positions;
  process_stereo(scratch_.dequantised, state_.scale_factors[1], left, bands_, mode, scratch_.stereo,
                 scratch_.stereo_out, lines);

  if (right_filter_) {
    transform_channel(0, 0, gr, scratch_.stereo_out[0], lines);
    transform_channel(1, 1, gr, scratch_.stereo_out[1], lines);
  } else if (channel_choice_ == ChoiceLeft || channel_choice_ == ChoiceRight) {
    const unsigned ch = channel_choice_ == ChoiceRight ? 1 : 0;
    transform_channel(ch, 0, gr, scratch_.stereo_out[ch], lines);
  } else {
    mix_to_mono(scratch_.stereo_out);
    transform_channel(0, 0, gr, scratch_.stereo_out[0], lines);
  }
}

void LayerIII_Decoder::transform_channel(unsigned ch, unsigned out, unsigned gr, float* spectrum, int lines) {
  const GranuleInfo& granule = state_.side_info.ch[ch].gr[gr];
  float* x = spectrum;
  if (granule.short_block()) {
    reorder_short(spectrum, granule, bands_, scratch_.hybrid_buffer);
    x = scratch_.hybrid_buffer;
    // Reordering moves values within a short band: the bands up to the one holding the last value.
    int band = 0;
    while (band < 12 && 3 * bands_.short_starts[band + 1] < lines) ++band;
    if (lines > (granule.mixed_block_flag ? short_band3_line(bands_) : 0))
      lines = std::max(lines, 3 * bands_.short_starts[band + 1]);
  }
  hybrid_filterbank(x, (lines + 17) / 18, granule, state_.overlap[out], scratch_.slots[out] + 18 * gr);
}

void LayerIII_Decoder::synthesize_outputs() {
  const int count = 18 * static_cast<int>(granules_);
  if (right_filter_) {
    // Both channels, each to its own filter, a time slot at a time.
    SynthesisFilter::synthesize_slots(left_filter_, scratch_.slots[0], *right_filter_, scratch_.slots[1],
                                      count, output_);
    return;
  }
  left_filter_.synthesize_slots(scratch_.slots[0], count, output_);
}

}  // namespace vemla
