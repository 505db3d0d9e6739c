// Copy and move of a whole library into another folder, as a job of bounded steps (library_job.h).
#pragma once

#include <filesystem>
#include <memory>

#include "library_files.h"
#include "library_job.h"

namespace vemla {

class StagedFiles;
class Store;
class StoreCopy;

enum class CopyKind { Copy, Move };

// The checks that refuse a copy or move whatever the user answers, with a TableError: the source library
// exists, the destination folder exists and is not the source's own, and the names clash with no library
// there. Run before asking whether a library of the same name in the destination is to be replaced.
void check_copy(const LibraryPath& source, const std::filesystem::path& destination);

// Progress in bytes of the library's files. The copies are built in a stage in the destination and its three
// files appear there together (staged_files.h) only when both tables are copied whole; a move deletes the
// source after that, never before, so that a move that fails, goes to another file system or is killed loses
// nothing: the source is whole until the destination is. Cancel drops the unfinished copies and leaves
// everything as it was.
class CopyJob : public LibraryJob {
 public:
  // Settles both folders (staged_files.h), then checks before anything is copied, with a TableError: those of
  // check_copy, the source library is not in use, and, unless replace is true, the destination holds no
  // table of the library's names.
  CopyJob(const LibraryPath& source, const std::filesystem::path& destination, CopyKind kind, bool replace);
  ~CopyJob() override;

  Progress progress() const override;
  const LibraryPath& destination() const { return destination_; }

 private:
  bool work(Deadline deadline) override;
  void end() noexcept override;
  // Puts the finished copies in place of the destination's library, which must not be in use.
  void put_in_place();

  LibraryPath source_;
  LibraryPath destination_;
  CopyKind kind_;
  std::unique_ptr<Store> tracks_, categories_;
  std::unique_ptr<StagedFiles> stage_;
  std::unique_ptr<StoreCopy> tracks_copy_, categories_copy_;
  Progress last_progress_;
};

}  // namespace vemla
