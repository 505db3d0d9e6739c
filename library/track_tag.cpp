#include "track_tag.h"

#include <taglib/apetag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>

#include <cstring>

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

TagTexts read_tag(const std::filesystem::path& file) {
  TagTexts texts;
  TagLib::FileStream stream(file.c_str(), true);
  if (!stream.isOpen()) return texts;
  if (stream.length() >= 128) {
    stream.seek(-128, TagLib::IOStream::End);
    const TagLib::ByteVector block = stream.readBlock(128);
    if (block.size() == 128)
      texts = parse_id3v1(std::span<const uint8_t, 128>(reinterpret_cast<const uint8_t*>(block.data()), 128));
  }
  // Audio properties are not read: the import takes them from the first frame header.
  TagLib::MPEG::File tags(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  if (tags.isValid()) {
    prefer(texts, tags.APETag(false));
    prefer(texts, tags.ID3v2Tag(false));
  }
  return texts;
}

}  // namespace vemla
