// The gapless comment iTunes writes into the ID3v2 tag at the start of a file: a comment (COMM) or user text
// (TXXX) frame described "iTunSMPB" whose text holds hexadecimal fields: a zero, the encoder's delay, its
// padding and the original sample count. Read without TagLib, so that the decoder-only build has it too.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vemla {

class Ibitstream;

struct EncoderPadding {
  uint32_t delay = 0;    // samples a channel the encoder added before the audio
  uint32_t padding = 0;  // and after it
};

// The text of an iTunSMPB comment; nothing when it does not hold the fields.
std::optional<EncoderPadding> parse_itunes_smpb(std::string_view text);

// Looks through the ID3v2 tags in front of the stream's audio (ID3v2.2, 2.3 and 2.4). Reads only within the
// tags, a frame at a time, and only frames small enough to be such a comment.
std::optional<EncoderPadding> find_itunes_smpb(const Ibitstream& stream);

}  // namespace vemla
