#include "track_tag.h"

#include <taglib/apetag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfile.h>

#include <array>
#include <cstring>
#include <fstream>

#include "bounded_tags.h"
#include "replaygain_tags.h"

namespace vemla {

namespace {

// ID3v1 field offsets and lengths within the block, after the 3-byte marker.
struct FieldPlace {
  size_t offset, length;
};
constexpr FieldPlace kTitle{3, 30}, kArtist{33, 30}, kAlbum{63, 30}, kYear{93, 4}, kComment{97, 30};

std::string latin1_field(std::span<const uint8_t, 128> block, FieldPlace place) {
  std::string text;
  for (size_t i = place.offset; i < place.offset + place.length; ++i) {
    const uint8_t byte = block[i];
    if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) break;  // C0 and C1 controls, DEL
    if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | byte >> 6);
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

std::string utf8(const TagLib::String& text) {
  return text.to8Bit(true);
}

// Takes each text the tag has over what is there.
void prefer(TagTexts& texts, const TagLib::Tag* tag) {
  if (!tag) return;
  const auto take = [](std::string& field, const TagLib::String& value) {
    if (!value.isEmpty()) field = utf8(value);
  };
  take(texts.title, tag->title());
  take(texts.artist, tag->artist());
  take(texts.album, tag->album());
  take(texts.comment, tag->comment());
  if (tag->year() != 0) texts.year = std::to_string(tag->year());
}

// Tag bytes in memory as a file, for the tag library's readers of one kind of tag.
class TagBytes final : public TagLib::File {
 public:
  explicit TagBytes(const std::string& bytes)
      : TagLib::File(&stream_), stream_(TagLib::ByteVector(bytes.data(), static_cast<unsigned>(bytes.size()))) {}
  TagLib::Tag* tag() const override { return nullptr; }
  TagLib::AudioProperties* audioProperties() const override { return nullptr; }
  bool save() override { return false; }

 private:
  // Built before the base class reads from it: the base only keeps the pointer.
  TagLib::ByteVectorStream stream_;
};

TagTexts read_id3v1(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in.seekg(0, std::ios::end)) return {};
  const std::streamoff size = in.tellg();
  if (size < 128 || !in.seekg(size - 128)) return {};
  std::array<uint8_t, 128> block;
  if (!in.read(reinterpret_cast<char*>(block.data()), 128)) return {};
  return parse_id3v1(block);
}

}  // namespace

TagTexts parse_id3v1(std::span<const uint8_t, 128> block) {
  TagTexts texts;
  if (std::memcmp(block.data(), "TAG", 3) != 0) return texts;
  texts.title = latin1_field(block, kTitle);
  texts.artist = latin1_field(block, kArtist);
  texts.album = latin1_field(block, kAlbum);
  texts.year = latin1_field(block, kYear);
  texts.comment = latin1_field(block, kComment);
  return texts;
}

TagReading read_tags(const std::filesystem::path& file) {
  TagReading reading;
  // A pipe or a device could block the reader or never end.
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return reading;
  reading.texts = read_id3v1(file);
  BoundedTags tags = read_bounded_tags(file);
  reading.passed_over = std::move(tags.passed_over);
  ReplayGain id3v2_gain, ape_gain;
  if (!tags.ape.empty()) {
    TagBytes bytes(tags.ape);
    const TagLib::APE::Tag ape(&bytes, static_cast<long>(tags.ape.size()) - 32);
    prefer(reading.texts, &ape);
    ape_gain = replaygain_from_ape(ape);
  }
  if (!tags.id3v2.empty()) {
    TagBytes bytes(tags.id3v2);
    const TagLib::ID3v2::Tag id3v2(&bytes, 0, TagLib::ID3v2::FrameFactory::instance());
    prefer(reading.texts, &id3v2);
    id3v2_gain = replaygain_from_id3v2(id3v2);
  }
  reading.gain = !id3v2_gain.empty() ? id3v2_gain : !ape_gain.empty() ? ape_gain : replaygain_from_lame(file);
  return reading;
}

TagTexts read_tag(const std::filesystem::path& file) {
  return read_tags(file).texts;
}

}  // namespace vemla
