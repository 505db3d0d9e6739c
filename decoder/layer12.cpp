#include "layer12.h"

#include <algorithm>
#include <new>

namespace vemla {
namespace {

template <typename Single, typename Stereo, typename Intensity>
Subband* build(void* place, const Header& header, unsigned subband) {
  if (header.mode() == SingleChannel) return new (place) Single(subband);
  if (header.mode() == JointStereo && subband >= header.intensity_stereo_bound()) return new (place) Intensity(subband);
  return new (place) Stereo(subband);
}

}  // namespace

void Layer12Decoder::create_subbands(const Header& header) {
  count_ = std::min(header.subband_count(), 32u);
  for (unsigned i = 0; i < count_; ++i) {
    subbands_[i] = header.layer() == 1
                       ? build<SubbandLayer1, SubbandLayer1Stereo, SubbandLayer1IntensityStereo>(storage_[i], header, i)
                       : build<SubbandLayer2, SubbandLayer2Stereo, SubbandLayer2IntensityStereo>(storage_[i], header, i);
  }
}

void Layer12Decoder::destroy_subbands() {
  for (unsigned i = 0; i < count_; ++i) subbands_[i]->~Subband();
  count_ = 0;
}

bool Layer12Decoder::decode_frame(Ibitstream& stream, const Header& header, Crc16* crc, ChannelChoice choice,
                                  SynthesisFilter& filter1, SynthesisFilter* filter2, Obuffer& output) {
  create_subbands(header);
  Subband** const begin = subbands_;
  Subband** const end = subbands_ + count_;

  bool valid = true;
  for (Subband** s = begin; s != end; ++s) {
    (*s)->read_bit_allocation(stream, header, crc);
    valid &= (*s)->allocation_valid();
  }
  if (header.layer() != 1)
    for (Subband** s = begin; s != end; ++s) (*s)->read_scfsi(stream, crc);
  if (crc && crc->take_checksum() != header.checksum()) valid = false;
  if (!valid) {
    destroy_subbands();
    return false;
  }
  for (Subband** s = begin; s != end; ++s) (*s)->read_scale_factors(stream, header);

  // Layer I: 12 slots of one sample; Layer II: 12 groups of three. A frame without subbands is silent.
  bool read_ready = count_ == 0;
  while (!read_ready) {
    for (Subband** s = begin; s != end; ++s) read_ready = (*s)->read_sample_codes(stream);
    bool write_ready = false;
    while (!write_ready) {
      for (Subband** s = begin; s != end; ++s) write_ready = (*s)->deliver_sample(choice, &filter1, filter2);
      filter1.synthesize_block(output);
      if (filter2) filter2->synthesize_block(output);
    }
  }
  output.end_frame(1);
  destroy_subbands();
  return true;
}

}  // namespace vemla
