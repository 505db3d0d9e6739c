// Track files for the library's tests: short streams encoded once per test program with lame and twolame,
// copied for each test, and tags put on them byte by byte (ID3 version 1) or with TagLib (ID3 version 2
// with a picture, APE).
#pragma once

#include <filesystem>
#include <string>

#include "track_tag.h"

namespace vemla::test {

// Encoded streams of a 2-second test signal, without tags; an empty path when the encoder is missing.
const std::filesystem::path& layer3_file();        // lame: MPEG-1 Layer III, 44.1 kHz stereo, 128 kbit/s
const std::filesystem::path& layer2_file();        // twolame: MPEG-1 Layer II, 48 kHz stereo, CRC words
const std::filesystem::path& mpeg2_layer3_file();  // lame: MPEG-2 Layer III, 22.05 kHz mono
// lame with its Info header, whose figures make the 44.1 kHz stereo track exactly 2 seconds long.
const std::filesystem::path& gapless_layer3_file();

// Copies source to target (replacing it); returns target.
std::filesystem::path copy_track(const std::filesystem::path& source, const std::filesystem::path& target);

// Appends an ID3 version 1 block: "TAG", then the fields as raw bytes (ISO-8859-1), each padded with zero
// bytes to its width (title, artist, album and comment 30, year 4), and genre 0.
void append_id3v1(const std::filesystem::path& file, const std::string& title, const std::string& artist,
                  const std::string& album, const std::string& year, const std::string& comment);

// Puts an ID3 version 2 tag (UTF-8 texts; empty ones left out) at the start of the file, with a front-cover
// picture full of sync-like bytes when picture is true; an APE tag before its end. Other tags stay.
void add_id3v2(const std::filesystem::path& file, const TagTexts& texts, bool picture = false);
void add_ape(const std::filesystem::path& file, const TagTexts& texts);

// Puts ReplayGain values into the file's tags the way taggers write them: ID3v2 user texts
// ("REPLAYGAIN_TRACK_GAIN" "-6.50 dB", peaks as plain numbers), ID3v2.4 relative volume frames ("track",
// "album": master volume, 16-bit peak), or APE items. Values left out are not written.
void add_replaygain_txxx(const std::filesystem::path& file, const ReplayGain& gain);
void add_replaygain_rva2(const std::filesystem::path& file, const ReplayGain& gain);
void add_replaygain_ape(const std::filesystem::path& file, const ReplayGain& gain);

// ID3v2 tags built byte by byte, as a hostile or unusual writer makes them. A frame of ID3v2.3 or 2.4 with
// its sizes as that version writes them, its second flags byte `format`, and the data as given.
std::string id3v2_frame(int major, const std::string& id, const std::string& data, uint8_t format = 0);
// Puts a tag of that version and header flags holding the frames before the file's bytes.
void prepend_id3v2(const std::filesystem::path& file, int major, uint8_t flags, const std::string& frames);
// A text frame's data: Latin-1 encoding byte, then the text.
std::string latin1_text(const std::string& text);
// zlib data that inflates to `size` zero bytes (a few hundred kilobytes per hundred megabytes).
std::string zlib_zeros(uint64_t size);
// zlib data of the bytes.
std::string zlib_of(const std::string& bytes);
// A 28-bit ID3v2 "synchsafe" integer.
std::string syncsafe(uint32_t value);

}  // namespace vemla::test
