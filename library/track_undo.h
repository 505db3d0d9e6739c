// Taking a deleted track back: before the row goes, every value of it is kept (title, artist, album, memo,
// categories, flags, facts, file name), its stored audio in a file of its own, so that the track can be put
// back with all it had.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "schema.h"

namespace vemla {

class Table;

class DeletedTrack {
 public:
  DeletedTrack(const DeletedTrack&) = delete;
  DeletedTrack& operator=(const DeletedTrack&) = delete;
  // Removes the files it keeps.
  ~DeletedTrack();

  // Puts the track back as the table's new last row (its record number then is the row count), with every
  // value it had; it becomes the current row. Rows added or deleted since do not matter: it is a new row. An
  // error of the table engine leaves the table as it was and the track kept, to be tried again.
  int restore(Table& tracks);

  // The record number it had, and its title, for what the window says.
  int record() const { return record_; }
  const std::string& title() const { return title_; }

 private:
  friend std::unique_ptr<DeletedTrack> delete_track_keeping(Table&, const std::filesystem::path&);
  DeletedTrack() = default;

  struct Kept {
    std::string column;
    std::string text;            // every value but a blob's, as its field reads it as a text
    std::filesystem::path file;  // a blob's bytes; empty when the blob was empty
  };
  std::vector<Kept> values_;
  int record_ = 0;
  std::string title_;
};

// Deletes the current track as delete_track does, keeping it to be taken back; its blobs are written into
// files in `folder` first. Null, with nothing done, when the table has no row. When the track cannot be kept
// (no room in the folder) it is not deleted either and the error says why; errors of the table engine are
// thrown as delete_track throws them, and leave the track in place.
std::unique_ptr<DeletedTrack> delete_track_keeping(Table& tracks, const std::filesystem::path& folder);

}  // namespace vemla
