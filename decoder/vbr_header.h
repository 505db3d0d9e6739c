// The encoder's header that the first frame of many Layer III files carries instead of audio: Xing or Info
// (written by the Xing encoder and by LAME; "Info" marks a constant bit rate) and VBRI (Fraunhofer). It
// announces the number of frames and bytes of the stream and, in LAME's extension of the Xing header, the
// samples the encoder added before and after the audio.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vemla {

struct VbrHeader {
  enum class Kind : uint8_t { None, Xing, Info, Vbri };

  Kind kind = Kind::None;
  uint32_t frames = 0;  // audio frames announced (the header's own frame not counted); 0 when none
  uint32_t bytes = 0;   // stream bytes announced; 0 when none
  // LAME's extension (also written by FFmpeg): the encoder's delay at the start and its padding of the last
  // frame, in samples a channel, 12 bits each.
  bool has_encoder_padding = false;
  uint16_t encoder_delay = 0;
  uint16_t encoder_padding = 0;

  bool present() const { return kind != Kind::None; }
  // The encoder says the bit rate varies (Xing and VBRI; LAME writes Info for a constant bit rate).
  bool variable_bitrate() const { return kind == Kind::Xing || kind == Kind::Vbri; }
};

// Looks for an encoder's header in the body of a Layer III frame (the bytes after its 4-byte header) of the
// given version (1 MPEG-1, 0 LSF), mode and CRC protection. Reads nothing outside body[0, length); a field
// that does not fit in the body is taken as absent.
VbrHeader find_vbr_header(const uint8_t* body, size_t length, int version, int mode, bool protected_by_crc);

}  // namespace vemla
