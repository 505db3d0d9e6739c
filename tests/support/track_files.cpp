#include "track_files.h"

#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <fstream>
#include <stdexcept>

#include "support.h"
#include "test_streams.h"

namespace vemla::test {

namespace fs = std::filesystem;

namespace {

const TempDir& sources() {
  static TempDir folder;
  return folder;
}

fs::path encoded(const std::string& name, bool (*encode)(const fs::path&)) {
  const fs::path file = sources() / name;
  return encode(file) ? file : fs::path();
}

void set_texts(TagLib::Tag& tag, const TagTexts& texts) {
  const auto utf8 = [](const std::string& text) { return TagLib::String(text, TagLib::String::UTF8); };
  if (!texts.title.empty()) tag.setTitle(utf8(texts.title));
  if (!texts.artist.empty()) tag.setArtist(utf8(texts.artist));
  if (!texts.album.empty()) tag.setAlbum(utf8(texts.album));
  if (!texts.comment.empty()) tag.setComment(utf8(texts.comment));
}

void save(TagLib::MPEG::File& file, int tags) {
  if (!file.save(tags, TagLib::File::StripNone, TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate))
    throw std::runtime_error("TagLib could not save the tag");
}

}  // namespace

const fs::path& layer3_file() {
  static const fs::path file =
      encoded("layer3.mp3", [](const fs::path& out) { return make_layer3(out, 2, 44100, 2.0); });
  return file;
}

const fs::path& layer2_file() {
  static const fs::path file =
      encoded("layer2.mp2", [](const fs::path& out) { return make_layer2(out, 2, 48000, 2.0, "-p"); });
  return file;
}

const fs::path& mpeg2_layer3_file() {
  static const fs::path file =
      encoded("mpeg2.mp3", [](const fs::path& out) { return make_layer3(out, 1, 22050, 2.0); });
  return file;
}

const fs::path& gapless_layer3_file() {
  static const fs::path file = encoded("gapless.mp3", [](const fs::path& out) {
    if (!have_program("lame")) return false;
    const fs::path wav = out.string() + ".wav";
    write_test_wav(wav, 2, 44100, 2.0);
    return run("lame --quiet -b 128 '" + wav.string() + "' '" + out.string() + "' >/dev/null 2>&1") == 0;
  });
  return file;
}

fs::path copy_track(const fs::path& source, const fs::path& target) {
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  return target;
}

void append_id3v1(const fs::path& file, const std::string& title, const std::string& artist,
                  const std::string& album, const std::string& year, const std::string& comment) {
  std::string block = "TAG";
  for (const auto& [text, width] : {std::pair{title, 30}, {artist, 30}, {album, 30}, {year, 4}, {comment, 30}}) {
    std::string field = text.substr(0, width);
    field.resize(width, '\0');
    block += field;
  }
  block += '\0';
  std::ofstream(file, std::ios::binary | std::ios::app) << block;
}

void add_id3v2(const fs::path& file, const TagTexts& texts, bool picture) {
  TagLib::MPEG::File mpeg(file.c_str(), false);
  TagLib::ID3v2::Tag* tag = mpeg.ID3v2Tag(true);
  set_texts(*tag, texts);
  if (picture) {
    // A picture whose bytes look like MPEG frame headers, for a header search that looks inside tags.
    TagLib::ByteVector bytes;
    for (int i = 0; i < 4000; ++i) bytes.append(TagLib::ByteVector("\xFF\xFB\x90\x64", 4));
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setMimeType("image/jpeg");
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setPicture(bytes);
    tag->addFrame(frame);
  }
  save(mpeg, TagLib::MPEG::File::ID3v2);
}

void add_ape(const fs::path& file, const TagTexts& texts) {
  TagLib::MPEG::File mpeg(file.c_str(), false);
  set_texts(*mpeg.APETag(true), texts);
  save(mpeg, TagLib::MPEG::File::APE);
}

}  // namespace vemla::test
