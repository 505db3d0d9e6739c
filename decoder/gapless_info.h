// Which of a Layer III stream's decoded samples are the encoder's input: the encoder added its delay at the
// start and padded the last frame, and the synthesis adds its own delay of 529 samples. LAME's extension of
// the Info header says how many samples the encoder added, else an iTunes iTunSMPB comment does.
#pragma once

#include <cstdint>
#include <limits>

namespace vemla {

class Header;
class Ibitstream;

// Samples by which a Layer III decoder's output lags the encoder's input: the hybrid filterbank's and the
// polyphase synthesis' delays together (what LAME's figures leave out).
constexpr unsigned kDecoderDelay = 529;

struct GaplessInfo {
  enum class Source : uint8_t { None, Lame, Itunes };

  Source source = Source::None;
  uint32_t delay = 0;          // encoder's delay, samples a channel
  uint32_t padding = 0;        // encoder's padding
  uint64_t samples = 0;        // the encoder's input, samples a channel; 0 when not known
  int first_audio_frame = 0;   // 1 when frame 0 is the encoder's header, which gives no samples
  unsigned frame_samples = 0;  // samples a channel of each frame

  bool known() const { return source != Source::None; }
  // The first decoded sample (counted from the first audio frame's first) that is the encoder's input.
  uint64_t first_sample() const { return known() ? uint64_t{delay} + kDecoderDelay : 0; }
  // Samples to drop at the end of the decoded stream: the padding less the decoder's delay, which the
  // decoded stream never holds.
  uint32_t tail() const { return known() && padding > kDecoderDelay ? padding - kDecoderDelay : 0; }
};

// The figures for the stream whose first frame `header` has just read. A figure that cannot be right (a
// delay and padding that leave no sample of the file's frames, or a padding over a frame plus the decoder's
// delay) is ignored, and the stream decodes whole. Nothing is known of Layer I and II streams.
GaplessInfo find_gapless_info(const Header& header, const Ibitstream& stream);

}  // namespace vemla
