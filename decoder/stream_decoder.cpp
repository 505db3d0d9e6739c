#include "stream_decoder.h"

#include <algorithm>

namespace vemla {

StreamDecoder::StreamDecoder(Ibitstream& stream, Header& header, Obuffer& sink, ChannelChoice choice,
                             bool gapless, float scale_factor)
    : stream_(stream),
      header_(header),
      gapless_(gapless),
      info_(gapless ? find_gapless_info(header, stream) : GaplessInfo{}),
      trimmed_(sink, stream, info_),
      frames_(stream, header, trimmed_, choice, scale_factor) {}

unsigned StreamDecoder::run_up_frames() const {
  // The synthesis filter remembers 512 samples: more than a Layer I frame, less than any other.
  if (header_.layer() != 3) return 2;
  // main_data_begin reaches back at most 511 bytes (MPEG-1) or 255 (LSF) into the main data of the frames
  // before; the shortest frames of the stream's kind carry the least of it.
  const unsigned reach = header_.version() == 1 ? 511 : 255;
  const unsigned bits = bitrate_kbps(header_.version(), 3, 1) * 1000;
  const unsigned shortest = (header_.version() == 1 ? 144 : 72) * bits / header_.frequency();
  const unsigned side_info = header_.version() == 1 ? (header_.mode() == SingleChannel ? 17 : 32)
                                                    : (header_.mode() == SingleChannel ? 9 : 17);
  const unsigned overhead = 4 + side_info + (header_.protection_bit() == 0 ? 2 : 0);
  const unsigned main_data = shortest > overhead ? shortest - overhead : 1;
  // The frame before the one asked for decodes whole only when its own main data is there, and the frame
  // asked for needs that one's overlap.
  return (reach + main_data - 1) / main_data + 2;
}

bool StreamDecoder::seek(unsigned frame) {
  const unsigned first = static_cast<unsigned>(info_.first_audio_frame);
  if (!gapless_ || frame <= first) return frames_.seek(frame);
  const unsigned run_up = std::min(frame - first, run_up_frames());
  trimmed_.set_muted(true);
  bool found = frames_.seek(frame - run_up);
  Crc16* crc = header_.frame_crc();
  for (unsigned k = 0; found && k < run_up; ++k) {
    frames_.decode_frame(crc);
    found = header_.read_frame_header(stream_, crc);
  }
  trimmed_.set_muted(false);
  return found && stream_.current_frame() == static_cast<int>(frame);
}

}  // namespace vemla
