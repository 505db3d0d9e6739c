// Copy and move of a whole library into another folder, as a job of bounded steps (library_job.h).
#pragma once

#include <filesystem>
#include <memory>

#include "library_files.h"
#include "library_job.h"

namespace vemla {

class Store;
class StoreCopy;

enum class CopyKind { Copy, Move };

// Progress in bytes of the library's files. The copies appear in the destination only when both tables are
// copied whole; a move deletes the source after that, never before, so that a move that fails (or goes to
// another file system) loses nothing. Cancel drops the unfinished copies and leaves everything as it was.
class CopyJob : public LibraryJob {
 public:
  // Checks before anything is copied, with a TableError: the source library exists and is not in use, the
  // destination folder exists and is not the source's own folder (a table would be copied onto itself), and,
  // unless replace is true, holds no table of the library's names.
  CopyJob(const LibraryPath& source, const std::filesystem::path& destination, CopyKind kind, bool replace);
  ~CopyJob() override;

  Progress progress() const override;
  const LibraryPath& destination() const { return destination_; }

 private:
  bool work(Deadline deadline) override;
  void end() noexcept override;

  LibraryPath source_;
  LibraryPath destination_;
  CopyKind kind_;
  std::unique_ptr<Store> tracks_, categories_;
  std::unique_ptr<StoreCopy> tracks_copy_, categories_copy_;
  Progress last_progress_;
};

}  // namespace vemla
