#include "track_files.h"

#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/relativevolumeframe.h>
#include <taglib/textidentificationframe.h>

#include <zlib.h>

#include <cmath>
#include <cstdio>
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

std::string number_text(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The four values as (name, text) pairs, gains "-6.50 dB", peaks "0.912000".
std::vector<std::pair<std::string, std::string>> replaygain_items(const ReplayGain& gain) {
  std::vector<std::pair<std::string, std::string>> items;
  if (gain.track_gain) items.emplace_back("REPLAYGAIN_TRACK_GAIN", number_text("%.2f dB", *gain.track_gain));
  if (gain.track_peak) items.emplace_back("REPLAYGAIN_TRACK_PEAK", number_text("%.6f", *gain.track_peak));
  if (gain.album_gain) items.emplace_back("REPLAYGAIN_ALBUM_GAIN", number_text("%.2f dB", *gain.album_gain));
  if (gain.album_peak) items.emplace_back("REPLAYGAIN_ALBUM_PEAK", number_text("%.6f", *gain.album_peak));
  return items;
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

namespace vemla::test {

void add_replaygain_txxx(const fs::path& file, const ReplayGain& gain) {
  TagLib::MPEG::File mpeg(file.c_str(), false);
  TagLib::ID3v2::Tag* tag = mpeg.ID3v2Tag(true);
  for (const auto& [name, text] : replaygain_items(gain))
    tag->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(name, TagLib::StringList(text)));
  save(mpeg, TagLib::MPEG::File::ID3v2);
}

void add_replaygain_rva2(const fs::path& file, const ReplayGain& gain) {
  TagLib::MPEG::File mpeg(file.c_str(), false);
  TagLib::ID3v2::Tag* tag = mpeg.ID3v2Tag(true);
  const auto add = [&](const char* identification, const std::optional<double>& db, const std::optional<double>& peak) {
    if (!db) return;
    auto* frame = new TagLib::ID3v2::RelativeVolumeFrame;
    frame->setIdentification(identification);
    frame->setVolumeAdjustment(static_cast<float>(*db));
    if (peak) {
      TagLib::ID3v2::RelativeVolumeFrame::PeakVolume volume;
      volume.bitsRepresentingPeak = 16;
      const auto value = static_cast<unsigned>(std::lround(std::min(*peak, 1.99) * 32768.0));
      volume.peakVolume = TagLib::ByteVector::fromShort(static_cast<short>(value));
      frame->setPeakVolume(volume);
    }
    tag->addFrame(frame);
  };
  add("track", gain.track_gain, gain.track_peak);
  add("album", gain.album_gain, gain.album_peak);
  save(mpeg, TagLib::MPEG::File::ID3v2);
}

void add_replaygain_ape(const fs::path& file, const ReplayGain& gain) {
  TagLib::MPEG::File mpeg(file.c_str(), false);
  TagLib::APE::Tag* tag = mpeg.APETag(true);
  for (const auto& [name, text] : replaygain_items(gain)) tag->addValue(name, text);
  save(mpeg, TagLib::MPEG::File::APE);
}

}  // namespace vemla::test

namespace vemla::test {

std::string syncsafe(uint32_t value) {
  std::string out;
  for (int shift = 21; shift >= 0; shift -= 7) out += static_cast<char>((value >> shift) & 0x7F);
  return out;
}

std::string id3v2_frame(int major, const std::string& id, const std::string& data, uint8_t format) {
  std::string frame = id;
  if (major == 4) {
    frame += syncsafe(static_cast<uint32_t>(data.size()));
  } else {
    for (int shift = 24; shift >= 0; shift -= 8) frame += static_cast<char>((data.size() >> shift) & 0xFF);
  }
  frame += '\0';
  frame += static_cast<char>(format);
  return frame + data;
}

void prepend_id3v2(const fs::path& file, int major, uint8_t flags, const std::string& frames) {
  std::string tag = "ID3";
  tag += static_cast<char>(major);
  tag += '\0';
  tag += static_cast<char>(flags);
  tag += syncsafe(static_cast<uint32_t>(frames.size()));
  tag += frames;
  const std::vector<uint8_t> audio = read_file(file);
  std::vector<uint8_t> bytes(tag.begin(), tag.end());
  bytes.insert(bytes.end(), audio.begin(), audio.end());
  write_file(file, bytes);
}

std::string latin1_text(const std::string& text) {
  return std::string(1, '\0') + text;
}

std::string zlib_zeros(uint64_t size) {
  z_stream zs{};
  deflateInit(&zs, Z_BEST_COMPRESSION);
  const std::vector<char> zeros(1 << 20, 0);
  std::string out;
  std::vector<char> chunk(1 << 16);
  for (uint64_t left = size;;) {
    const size_t take = static_cast<size_t>(std::min<uint64_t>(left, zeros.size()));
    left -= take;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    zs.avail_in = static_cast<uInt>(take);
    const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    int status;
    do {
      zs.next_out = reinterpret_cast<Bytef*>(chunk.data());
      zs.avail_out = static_cast<uInt>(chunk.size());
      status = deflate(&zs, flush);
      out.append(chunk.data(), chunk.size() - zs.avail_out);
    } while (zs.avail_out == 0);
    if (flush == Z_FINISH && status == Z_STREAM_END) break;
  }
  deflateEnd(&zs);
  return out;
}

std::string zlib_of(const std::string& bytes) {
  uLongf length = compressBound(bytes.size());
  std::string out(length, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
  out.resize(length);
  return out;
}

}  // namespace vemla::test
