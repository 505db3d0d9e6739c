#include "layer12.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vemla {
namespace {

template <typename Single, typename Stereo, typename Intensity>
Subband* build(void* place, const Header& header, unsigned subband, ChannelChoice choice, PreparedSlots& slots) {
  if (header.mode() == SingleChannel) return new (place) Single(subband, choice, slots);
  if (header.mode() == JointStereo && subband >= header.intensity_stereo_bound())
    return new (place) Intensity(subband, choice, slots);
  return new (place) Stereo(subband, choice, slots);
}

}  // namespace

void Layer12Decoder::create_subbands(const Header& header, ChannelChoice choice) {
  count_ = std::min(header.subband_count(), 32u);
  for (unsigned i = 0; i < count_; ++i) {
    void* place = storage_[i];
    subbands_[i] = header.layer() == 1
                       ? build<SubbandLayer1, SubbandLayer1Stereo, SubbandLayer1IntensityStereo>(place, header, i, choice, slots_)
                       : build<SubbandLayer2, SubbandLayer2Stereo, SubbandLayer2IntensityStereo>(place, header, i, choice, slots_);
  }
}

void Layer12Decoder::destroy_subbands() {
  for (unsigned i = 0; i < count_; ++i) subbands_[i]->~Subband();
  count_ = 0;
}

bool Layer12Decoder::decode_frame(Ibitstream& stream, const Header& header, Crc16* crc, ChannelChoice choice,
                                  SynthesisFilter& filter1, SynthesisFilter* filter2, Obuffer& output) {
  create_subbands(header, choice);
  Subband** const begin = subbands_;
  Subband** const end = subbands_ + count_;

  bool valid = true;
  for (Subband** s = begin; s != end; ++s) {
    (*s)->read_bit_allocation(stream, header, crc);
    valid &= (*s)->allocation_valid();
  }
  if (header.layer() != 1)
    for (Subband** s = begin; s != end; ++s) (*s)->read_scfsi(stream, crc);
  // CRC words are trusted from the first that matches: a stream whose words never do (an encoder that
  // wrote them wrong) plays whole rather than not at all.
  if (crc) {
    if (crc->take_checksum() == header.checksum())
      crc_trusted_ = true;
    else if (crc_trusted_)
      valid = false;
  }
  if (!valid) {
    destroy_subbands();
    return false;
  }
  for (Subband** s = begin; s != end; ++s) (*s)->read_scale_factors(stream, header);

  // Layer I: 12 groups of one sample; Layer II: 12 groups of three. Each group is read by every subband, then
  // delivered sample by sample, one time slot of 32 subbands at a time.
  const unsigned group_size = header.layer() == 1 ? 1 : 3;
  std::memset(slots_, 0, sizeof slots_);
  bool read_ready = count_ == 0;
  while (!read_ready) {
    for (Subband** s = begin; s != end; ++s) read_ready = (*s)->read_sample_codes(stream);
    for (unsigned i = 0; i < group_size; ++i) {
      if (filter2)
        SynthesisFilter::synthesize_blocks(filter1, slots_[0][i], *filter2, slots_[1][i], output);
      else
        filter1.synthesize_block(slots_[0][i], output);
    }
  }
  output.end_frame(1);
  destroy_subbands();
  return true;
}

}  // namespace vemla
