// One stream decoded into a sink as a listener hears it: with gapless decoding, exactly the samples the
// encoder took in (the encoder's delay and padding dropped where the stream's tags give them), and seeks that
// land on the sample a straight decode has there. Without it, every decoded sample, as the frames give them.
// Several of these may write one after the other into the same sink, which then carries one unbroken stream.
#pragma once

#include "bitstream.h"
#include "frame_decoder.h"
#include "gapless_info.h"
#include "header.h"
#include "trimmed_output.h"

namespace vemla {

class StreamDecoder {
 public:
  // `header` has just read the stream's first frame.
  StreamDecoder(Ibitstream& stream, Header& header, Obuffer& sink, ChannelChoice choice, bool gapless,
                float scale_factor = 32768.0f);
  StreamDecoder(const StreamDecoder&) = delete;
  StreamDecoder& operator=(const StreamDecoder&) = delete;

  // What the tags say (nothing when gapless decoding is off).
  const GaplessInfo& gapless() const { return info_; }
  // Whether this stream's samples are trimmed; otherwise they are exactly what the frames give.
  bool trims() const { return trimmed_.trims(); }

  // Drops what the sink holds and continues at 0-based frame n, which the stream then holds. With gapless
  // decoding the frames before it are decoded first without a sound, so that the reservoir, the overlap and
  // the synthesis filters hold what a straight decode has there.
  bool seek(unsigned frame);
  // Decodes the frame in the stream's buffer; crc as its header read gave it.
  void decode_frame(Crc16* crc) { frames_.decode_frame(crc); }
  // The stream ended (`at_end`) or decoding stops early: the samples held back go to the sink, less the
  // padding at the end.
  void finish(bool at_end) { trimmed_.finish(at_end); }

  FrameDecoder& frames() { return frames_; }

 private:
  // Frames decoded ahead of a seek's frame, enough for the farthest reach of the bit reservoir into earlier
  // frames of this stream's kind, plus the one whose overlap the frame needs.
  unsigned run_up_frames() const;

  Ibitstream& stream_;
  Header& header_;
  const bool gapless_;
  const GaplessInfo info_;
  TrimmedOutput trimmed_;
  FrameDecoder frames_;
};

}  // namespace vemla
