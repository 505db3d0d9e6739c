// ReplayGain values as files carry them: ID3v2 user texts (TXXX REPLAYGAIN_TRACK_GAIN, _TRACK_PEAK,
// _ALBUM_GAIN, _ALBUM_PEAK), ID3v2.4 relative volume frames (RVA2 "track" and "album"), APEv2 items of the
// same names, and the gain fields of the LAME encoder's header in the first frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "gain_stage.h"

namespace TagLib {
namespace ID3v2 {
class Tag;
}
namespace APE {
class Tag;
}
}  // namespace TagLib

namespace vemla {

// "-6.52 dB", "+3.1", " -0.5dB": the number at the start of a ReplayGain text (dB optional); nothing when none.
std::optional<double> parse_replaygain_number(std::string_view text);

// From the user text frames; else from the relative volume frames.
ReplayGain replaygain_from_id3v2(const TagLib::ID3v2::Tag& tag);
ReplayGain replaygain_from_ape(const TagLib::APE::Tag& tag);

// The gain fields of the LAME header in the body of a Layer III frame (the bytes after its 4-byte header) that
// carries an encoder's header: the radio gain as the track's, the audiophile gain as the album's and the peak
// as the track's. Empty when the body holds no LAME header or the fields are unset.
ReplayGain replaygain_from_lame(const uint8_t* body, size_t length, int version, int mode);
// The same for the first frame of the file.
ReplayGain replaygain_from_lame(const std::filesystem::path& file);

}  // namespace vemla
