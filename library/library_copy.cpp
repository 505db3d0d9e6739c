#include "library_copy.h"

#include "staged_files.h"
#include "store.h"
#include "store_copy.h"
#include "table_error.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

constexpr int kPagesPerTurn = 64;

TablePaths paths_of(const fs::path& table_file) {
  return {table_file, companion_of(table_file)};
}

bool same_folder(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

}  // namespace

void check_copy(const LibraryPath& source, const fs::path& destination) {
  if (!library_exists(source)) throw TableError("There is no database " + source.store().string());
  std::error_code error;
  if (!fs::is_directory(destination, error)) throw TableError("The folder " + destination.string() + " does not exist");
  if (same_folder(source.folder, destination)) {
    throw TableError("The database " + source.base + " is in the folder " + destination.string() +
                     " already; choose another destination");
  }
  // Replacing "Set1" beside a library "Set" would put its tracks in place of Set's category names.
  check_new_library_name(LibraryPath{destination, source.base});
}

CopyJob::CopyJob(const LibraryPath& source, const fs::path& destination, CopyKind kind, bool replace)
    : source_(source), destination_{destination, source.base}, kind_(kind) {
  // A copy, move or delete killed there before is completed or taken back first.
  settle_folder(source.folder);
  settle_folder(destination);
  check_copy(source_, destination);
  if (!replace && (file_exists(destination_.tracks()) || file_exists(destination_.categories()))) {
    throw TableError("There is a database " + source_.base + " in " + destination.string() + " already");
  }
  tracks_ = std::make_unique<Store>(paths_of(source_.tracks()), Store::Access::Read);
  categories_ = std::make_unique<Store>(paths_of(source_.categories()), Store::Access::Read);
  stage_ = std::make_unique<StagedFiles>(destination);
  const auto staged = [&](const fs::path& file) {
    return paths_of(stage_->path(file.filename().string()));
  };
  tracks_copy_ = std::make_unique<StoreCopy>(*tracks_, staged(destination_.tracks()),
                                             paths_of(destination_.tracks()));
  categories_copy_ = std::make_unique<StoreCopy>(*categories_, staged(destination_.categories()),
                                                 paths_of(destination_.categories()));
}

CopyJob::~CopyJob() {
  end();
}

LibraryJob::Progress CopyJob::progress() const {
  if (!tracks_copy_) return last_progress_;
  return {tracks_copy_->bytes_done() + categories_copy_->bytes_done(),
          tracks_copy_->bytes_total() + categories_copy_->bytes_total()};
}

bool CopyJob::work(Deadline deadline) {
  do {
    if (!tracks_copy_->step(kPagesPerTurn)) continue;
    if (!categories_copy_->step(kPagesPerTurn)) continue;
    tracks_copy_->finish();
    categories_copy_->finish();
    put_in_place();
    if (kind_ == CopyKind::Move) {
      // The source's locks go before its files can.
      end();
      try {
        delete_library(source_);
      } catch (const TableError& error) {
        throw TableError("The database was copied to " + destination_.folder.string() +
                         ", but could not be deleted here: " + error.what());
      }
    }
    return false;
  } while (std::chrono::steady_clock::now() < deadline);
  return true;
}

void CopyJob::put_in_place() {
  // Held while the copies take their place: a library another program has open there is not replaced.
  ExistingTable old_tracks, old_categories;
  if (file_exists(destination_.tracks())) old_tracks = lock_existing(destination_.tracks());
  if (file_exists(destination_.categories())) old_categories = lock_existing(destination_.categories());
  last_progress_ = progress();
  tracks_copy_.reset();
  categories_copy_.reset();
  // The track table last: the library is found by it, so it must not be found before its other files.
  stage_->commit({destination_.categories().filename().string(), destination_.store().filename().string(),
                  destination_.tracks().filename().string()});
}

void CopyJob::end() noexcept {
  if (tracks_copy_) last_progress_ = progress();
  tracks_copy_.reset();
  categories_copy_.reset();
  stage_.reset();  // with the copies, unless they were put in place
  tracks_.reset();
  categories_.reset();
}

}  // namespace vemla
