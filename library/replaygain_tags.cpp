#include "replaygain_tags.h"

#include <taglib/apetag.h>
#include <taglib/id3v2tag.h>
#include <taglib/relativevolumeframe.h>
#include <taglib/textidentificationframe.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "bitstream.h"
#include "header.h"
#include "notifier.h"

namespace vemla {

namespace {

enum class Item { TrackGain, TrackPeak, AlbumGain, AlbumPeak, None };

Item item_named(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "REPLAYGAIN_TRACK_GAIN") return Item::TrackGain;
  if (name == "REPLAYGAIN_TRACK_PEAK") return Item::TrackPeak;
  if (name == "REPLAYGAIN_ALBUM_GAIN") return Item::AlbumGain;
  if (name == "REPLAYGAIN_ALBUM_PEAK") return Item::AlbumPeak;
  return Item::None;
}

void take(ReplayGain& gain, Item item, std::string_view text) {
  const std::optional<double> number = parse_replaygain_number(text);
  if (!number) return;
  switch (item) {
    case Item::TrackGain:
      gain.track_gain = sane_gain(*number);
      break;
    case Item::TrackPeak:
      gain.track_peak = sane_peak(*number);
      break;
    case Item::AlbumGain:
      gain.album_gain = sane_gain(*number);
      break;
    case Item::AlbumPeak:
      gain.album_peak = sane_peak(*number);
      break;
    case Item::None:
      break;
  }
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// RVA2's peak: an unsigned integer of the given number of bits, full scale at 2^(bits - 1) as its writers
// store it.
std::optional<double> rva2_peak(const TagLib::ID3v2::RelativeVolumeFrame::PeakVolume& peak) {
  const unsigned bits = peak.bitsRepresentingPeak;
  if (bits == 0 || bits > 64 || peak.peakVolume.size() != (bits + 7) / 8) return std::nullopt;
  double value = 0;
  for (const char byte : peak.peakVolume) value = value * 256.0 + static_cast<uint8_t>(byte);
  // The bytes hold `bits` significant bits, right-aligned.
  return sane_peak(value / std::ldexp(1.0, static_cast<int>(bits) - 1));
}

ReplayGain from_rva2(const TagLib::ID3v2::Tag& tag) {
  ReplayGain gain;
  for (TagLib::ID3v2::Frame* frame : tag.frameList("RVA2")) {
    const auto* volume = dynamic_cast<TagLib::ID3v2::RelativeVolumeFrame*>(frame);
    if (!volume || !volume->channels().contains(TagLib::ID3v2::RelativeVolumeFrame::MasterVolume)) continue;
    const std::string identification = lower(volume->identification().to8Bit(true));
    const double db = volume->volumeAdjustment(TagLib::ID3v2::RelativeVolumeFrame::MasterVolume);
    const auto peak = rva2_peak(volume->peakVolume(TagLib::ID3v2::RelativeVolumeFrame::MasterVolume));
    if (identification == "track") {
      gain.track_gain = sane_gain(db);
      gain.track_peak = peak;
    } else if (identification == "album") {
      gain.album_gain = sane_gain(db);
      gain.album_peak = peak;
    }
  }
  return gain;
}

// A ReplayGain field of the LAME header: name code (3 bits: 1 radio, 2 audiophile), originator (3 bits, 0
// when unset), sign and the gain in tenths of a dB (9 bits).
std::optional<double> lame_gain(const uint8_t* p, int name_code) {
  const unsigned field = unsigned{p[0]} << 8 | p[1];
  if (static_cast<int>(field >> 13) != name_code || ((field >> 10) & 7) == 0) return std::nullopt;
  const double tenths = field & 0x1FF;
  return sane_gain((field & 0x200 ? -tenths : tenths) / 10.0);
}

}  // namespace

std::optional<double> parse_replaygain_number(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  // What follows may be a unit only.
  std::string_view rest(end, static_cast<size_t>(text.data() + text.size() - end));
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\0')) rest.remove_suffix(1);
  if (!rest.empty() && lower(std::string(rest)) != "db") return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

ReplayGain replaygain_from_id3v2(const TagLib::ID3v2::Tag& tag) {
  ReplayGain gain;
  for (TagLib::ID3v2::Frame* frame : tag.frameList("TXXX")) {
    const auto* text = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(frame);
    if (!text) continue;
    const TagLib::StringList fields = text->fieldList();  // the description, then the values
    if (fields.size() < 2) continue;
    take(gain, item_named(text->description().to8Bit(true)), fields[1].to8Bit(true));
  }
  return gain.empty() ? from_rva2(tag) : gain;
}

ReplayGain replaygain_from_ape(const TagLib::APE::Tag& tag) {
  ReplayGain gain;
  for (const auto& [key, item] : tag.itemListMap()) {
    if (item.type() != TagLib::APE::Item::Text) continue;
    take(gain, item_named(key.to8Bit(true)), item.toString().to8Bit(true));
  }
  return gain;
}

ReplayGain replaygain_from_lame(const uint8_t* body, size_t length, int version, int mode) {
  // The Xing or Info header takes the place of the side information (32 or 17 bytes in MPEG-1, 17 or 9 in
  // LSF), then LAME's header follows its fields: 9 bytes of encoder version, revision and VBR method, lowpass,
  // the peak (4 bytes, full scale at 2^23), the radio gain and the audiophile gain (2 bytes each).
  const bool single_channel = mode == 3;
  const size_t side_info = version == 1 ? (single_channel ? 17 : 32) : (single_channel ? 9 : 17);
  for (size_t xing : {side_info, side_info + 2}) {
    if (xing + 8 > length) continue;
    if (std::memcmp(body + xing, "Xing", 4) != 0 && std::memcmp(body + xing, "Info", 4) != 0) continue;
    const uint32_t flags = uint32_t{body[xing + 4]} << 24 | uint32_t{body[xing + 5]} << 16 |
                           uint32_t{body[xing + 6]} << 8 | body[xing + 7];
    // Frames, bytes, table of contents, quality: each present when its flag is set.
    const size_t lame = xing + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    // "L3.99" stands where a version string ran long.
    if (lame + 20 > length || (std::memcmp(body + lame, "LAME", 4) != 0 && std::memcmp(body + lame, "L3.9", 4) != 0))
      return {};
    const uint8_t* fields = body + lame + 11;
    ReplayGain gain;
    const uint32_t peak = uint32_t{fields[0]} << 24 | uint32_t{fields[1]} << 16 | uint32_t{fields[2]} << 8 | fields[3];
    gain.track_gain = lame_gain(fields + 4, 1);
    gain.album_gain = lame_gain(fields + 6, 2);
    if (gain.track_gain) gain.track_peak = sane_peak(std::ldexp(static_cast<double>(peak), -23));
    return gain;
  }
  return {};
}

ReplayGain replaygain_from_lame(const std::filesystem::path& file) {
  // Messages of the decoder about the file (no header found) are not this reader's to show.
  FirstMessage message;
  ThreadNotifierScope scope(message);
  Ibitstream stream(file.string());
  Header header;
  Crc16* crc = nullptr;
  if (!stream.is_open() || !header.read_frame_header(stream, crc) || header.layer() != 3 || !header.tag_frame())
    return {};
  return replaygain_from_lame(stream.body(), stream.body_length(), header.version(), header.mode());
}

}  // namespace vemla
