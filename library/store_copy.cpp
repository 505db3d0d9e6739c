#include "store_copy.h"

#include <sqlite3.h>

#include "staged_files.h"
#include "store.h"
#include "store_error.h"
#include "table_error.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

int64_t size_of(const fs::path& file) {
  std::error_code error;
  const auto size = fs::file_size(file, error);
  return error ? 0 : static_cast<int64_t>(size);
}

}  // namespace

StoreCopy::StoreCopy(Store& source, const TablePaths& files, const TablePaths& named)
    : source_(source),
      files_(files),
      named_(named),
      table_bytes_(size_of(source.paths().table)),
      companion_bytes_(source.has_companion() ? size_of(source.paths().companion) : 0) {
  check_folder(named.table);
  begin_part();
}

StoreCopy::~StoreCopy() = default;

void StoreCopy::begin_part() {
  backup_.reset();
  copy_.reset();
  if (part_ == 1 && !source_.has_companion()) part_ = 2;
  if (part_ == 2) return;
  try {
    const fs::path& file = part_ == 0 ? files_.table : files_.companion;
    copy_ = std::make_unique<SQLite::Database>(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    backup_ = std::make_unique<SQLite::Backup>(*copy_, "main", source_.sql(), part_ == 0 ? "main" : "mb");
  } catch (const std::exception& error) {
    throw_copy_error(error);
  }
}

// A busy source is in use by another program; anything else (a folder that cannot be written, a full disk)
// concerns the copy, which is named as the user named it.
void StoreCopy::throw_copy_error(const std::exception& error) const {
  const auto* sql_error = dynamic_cast<const SQLite::Exception*>(&error);
  throw_store_error(error, sql_error && is_busy(*sql_error) ? source_.paths().table
                           : part_ == 0                     ? named_.table
                                                            : named_.companion);
}

bool StoreCopy::step(int pages) {
  if (part_ == 2) return true;
  try {
    // The backup copies page by page, from the rows as last committed.
    if (backup_->executeStep(pages) == SQLITE_DONE) {
      ++part_;
      begin_part();
    }
  } catch (const std::exception& error) {
    throw_copy_error(error);
  }
  return part_ == 2;
}

int64_t StoreCopy::bytes_done() const {
  if (part_ == 2) return bytes_total();
  const int64_t done_before = part_ == 0 ? 0 : table_bytes_;
  const int64_t part_bytes = part_ == 0 ? table_bytes_ : companion_bytes_;
  const int total_pages = backup_->getTotalPageCount();
  if (total_pages <= 0) return done_before;
  const int64_t copied = total_pages - backup_->getRemainingPageCount();
  return done_before + part_bytes * copied / total_pages;
}

void StoreCopy::finish() {
  if (part_ != 2) throw TableError("The copy of " + source_.paths().table.string() + " is not complete");
  const std::string token = random_token();
  try {
    set_pair_token(files_.table, token);
    if (source_.has_companion()) set_pair_token(files_.companion, token);
  } catch (const std::exception& error) {
    throw_store_error(error, named_.table);
  }
}

void copy_store(Store& source, const TablePaths& target) {
  const fs::path folder = target.table.parent_path();
  check_folder(target.table);
  StagedFiles stage(folder);
  const std::string table = target.table.filename().string();
  const std::string companion = target.companion.filename().string();
  StoreCopy copy(source, {stage.path(table), stage.path(companion)}, target);
  while (!copy.step(256)) {
  }
  copy.finish();
  // Held until the copy is in place: a table another program has open is not replaced.
  ExistingTable existing;
  if (file_exists(target.table)) existing = lock_existing(target.table);
  stage.commit({companion, table});
  if (!source.has_companion() && existing.db && existing.has_companion) remove_quietly(target.companion);
}

}  // namespace vemla
