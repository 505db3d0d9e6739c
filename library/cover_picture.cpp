#include "cover_picture.h"

#include <sqlite3.h>
#include <strings.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>

#include <array>
#include <fstream>
#include <memory>

#include "bounded_tags.h"
#include "schema.h"
#include "store.h"
#include "table.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

// The picture files looked for beside a track, best first (any letter case).
constexpr std::array<const char*, 8> kPictureFiles = {"cover.jpg", "cover.png",  "folder.jpg", "folder.png",
                                                      "front.jpg", "front.png",  "cover.jpeg", "folder.jpeg"};
// A folder of more entries than this is not searched through for them.
constexpr int kListedEntries = 5000;

std::string mime_of(const fs::path& file) {
  const std::string extension = file.extension().string();
  return strcasecmp(extension.c_str(), ".png") == 0 ? "image/png" : "image/jpeg";
}

// Up to `limit` bytes of the file from its start; empty when it is larger or cannot be read.
std::string read_whole(const fs::path& file, size_t limit) {
  std::error_code error;
  const auto size = fs::file_size(file, error);
  if (error || size == 0 || size > limit) return {};
  std::ifstream in(file, std::ios::binary);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return {};
  return bytes;
}

CoverPicture picture_beside(const fs::path& file) {
  std::error_code error;
  fs::directory_iterator entry(file.parent_path().empty() ? fs::path(".") : file.parent_path(), error);
  fs::path best;
  size_t best_rank = kPictureFiles.size();
  int listed = 0;
  for (; !error && entry != fs::directory_iterator() && listed < kListedEntries; entry.increment(error), ++listed) {
    const std::string name = entry->path().filename().string();
    for (size_t rank = 0; rank < best_rank; ++rank) {
      if (strcasecmp(name.c_str(), kPictureFiles[rank]) == 0) {
        best = entry->path();
        best_rank = rank;
        break;
      }
    }
  }
  if (best.empty()) return {};
  CoverPicture picture{read_whole(best, kMaxCoverPicture), mime_of(best)};
  if (picture.bytes.empty()) picture.mime.clear();
  return picture;
}

}  // namespace

size_t id3v2_length(std::span<const uint8_t> head) {
  // ID3v2 header: "ID3", version, revision, flags, then a size of four 7-bit bytes (id3.org, ID3v2.4 structure
  // section 3.1); a footer of ten more bytes when flag bit 4 is set.
  if (head.size() < 10 || head[0] != 'I' || head[1] != 'D' || head[2] != '3') return 0;
  if (head[3] == 0xFF || head[4] == 0xFF) return 0;
  size_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (head[i] & 0x80) return 0;
    size = size << 7 | head[i];
  }
  return 10 + size + ((head[5] & 0x10) ? 10 : 0);
}

CoverPicture picture_in_tag(std::span<const uint8_t> tag) {
  if (id3v2_length(tag) == 0) return {};
  // The tag library would inflate a compressed frame to whatever size it unpacks to: only the picture frames
  // are handed to it, unpacked within a bound.
  std::vector<std::string> passed_over;
  const std::string pictures = bounded_id3v2_pictures(tag, passed_over);
  if (pictures.empty()) return {};
  TagLib::ByteVector bytes(pictures.data(), static_cast<unsigned>(pictures.size()));
  TagLib::ByteVectorStream stream(bytes);
  TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  TagLib::ID3v2::Tag* id3 = file.ID3v2Tag(false);
  if (!id3) return {};
  const TagLib::ID3v2::FrameList& frames = id3->frameList("APIC");
  const TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
  for (const TagLib::ID3v2::Frame* frame : frames) {
    const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
    if (!picture || picture->picture().isEmpty() || picture->picture().size() > kMaxCoverPicture) continue;
    if (!chosen || (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover &&
                    chosen->type() != TagLib::ID3v2::AttachedPictureFrame::FrontCover))
      chosen = picture;
  }
  if (!chosen) return {};
  return {std::string(chosen->picture().data(), chosen->picture().size()), chosen->mimeType().to8Bit(true)};
}

CoverPicture cover_of_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::array<uint8_t, 10> head{};
  if (in.read(reinterpret_cast<char*>(head.data()), head.size())) {
    const size_t length = id3v2_length(head);
    if (length > 0 && length <= kMaxCoverTag) {
      std::string tag(length, '\0');
      std::copy(head.begin(), head.end(), tag.begin());
      in.read(tag.data() + head.size(), static_cast<std::streamsize>(length - head.size()));
      tag.resize(head.size() + static_cast<size_t>(in.gcount()));
      CoverPicture picture =
          picture_in_tag({reinterpret_cast<const uint8_t*>(tag.data()), tag.size()});
      if (!picture.empty()) return picture;
    }
  }
  return picture_beside(file);
}

std::string stored_tag(Table& tracks) {
  Store* store = tracks.is_open() ? tracks.store() : nullptr;
  if (!store || tracks.record_count() == 0) return {};
  const int data = store->position_of(TrackTable::data.name);
  if (data < 0 || store->columns()[data].type != ColumnType::Blob) return {};
  sqlite3* db = store->sql().getHandle();
  // The current row's id: the record number counts rows in id order.
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT id FROM rows ORDER BY id LIMIT 1 OFFSET ?", -1, &raw, nullptr) != SQLITE_OK) {
    sqlite3_finalize(raw);
    return {};
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> select(raw, sqlite3_finalize);
  sqlite3_bind_int(raw, 1, tracks.record_number() - 1);
  if (sqlite3_step(raw) != SQLITE_ROW) return {};
  const sqlite3_int64 id = sqlite3_column_int64(raw, 0);
  sqlite3_blob* blob = nullptr;
  const std::string table = "v" + std::to_string(data);
  if (sqlite3_blob_open(db, "mb", table.c_str(), "value", id, 0, &blob) != SQLITE_OK) {
    sqlite3_blob_close(blob);
    return {};  // no stored audio
  }
  std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob*)> closer(blob, sqlite3_blob_close);
  const int stored = sqlite3_blob_bytes(blob);
  std::array<uint8_t, 10> head{};
  if (stored < static_cast<int>(head.size()) || sqlite3_blob_read(blob, head.data(), head.size(), 0) != SQLITE_OK)
    return {};
  const size_t length = std::min<size_t>(id3v2_length(head), static_cast<size_t>(stored));
  if (length == 0 || length > kMaxCoverTag) return {};
  std::string tag(length, '\0');
  if (sqlite3_blob_read(blob, tag.data(), static_cast<int>(length), 0) != SQLITE_OK) return {};
  return tag;
}

}  // namespace vemla
