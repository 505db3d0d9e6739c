#include "track_undo.h"

#include <unistd.h>

#include <atomic>

#include "table.h"
#include "track_ops.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

// A name no other kept track of this process has.
fs::path kept_file(const fs::path& folder, const std::string& column) {
  static std::atomic<unsigned> next{0};
  return folder /
         ("vemla-deleted-" + std::to_string(::getpid()) + "-" + std::to_string(next++) + "-" + column);
}

}  // namespace

DeletedTrack::~DeletedTrack() {
  for (const Kept& kept : values_) {
    std::error_code ignored;
    if (!kept.file.empty()) fs::remove(kept.file, ignored);
  }
}

int DeletedTrack::restore(Table& tracks) {
  tracks.append();
  try {
    for (const Kept& kept : values_) {
      Field field = tracks.field_by_name(kept.column);
      if (!kept.file.empty()) {
        field.load_from_file(kept.file);
        continue;
      }
      try {
        field.set_text(kept.text);
      } catch (const TableError&) {
        // A value its column never took (a damaged cell) stays empty; the track comes back all the same.
      }
    }
    tracks.post();
  } catch (...) {
    tracks.cancel();
    throw;
  }
  return tracks.record_number();
}

std::unique_ptr<DeletedTrack> delete_track_keeping(Table& tracks, const fs::path& folder) {
  if (tracks.record_count() == 0) return nullptr;
  std::unique_ptr<DeletedTrack> deleted(new DeletedTrack);
  deleted->record_ = tracks.record_number();
  for (const ColumnDef& column : tracks.columns()) {
    const Field field = tracks.field_by_name(column.name);
    DeletedTrack::Kept kept{column.name, {}, {}};
    if (column.type == ColumnType::Blob) {
      if (!field.is_empty()) {
        kept.file = kept_file(folder, column.name);
        deleted->values_.push_back(kept);  // pushed first, so that a half-written file goes with the object
        try {
          if (folder.empty()) throw TableError("there is no private folder for it");
          field.save_to_file(kept.file);
        } catch (const std::exception& error) {
          throw TableError("The track was not deleted: its audio could not be kept to be taken back (" +
                           std::string(error.what()) + ")");
        }
        continue;
      }
    } else {
      kept.text = field.as_text();
      if (column.name == "TITLE") deleted->title_ = kept.text;
    }
    deleted->values_.push_back(std::move(kept));
  }
  delete_track(tracks);
  return deleted;
}

}  // namespace vemla
