// Copies of an open table's files: made a bounded number of pages at a time, from the rows as last committed,
// under scratch names, and put in place of the target's files when whole.
#pragma once

#include <SQLiteCpp/Backup.h>
#include <SQLiteCpp/Database.h>

#include <cstdint>
#include <memory>

#include "store_files.h"

namespace vemla {

class Store;

// A copy of an open store's files into a new table's files, made a bounded number of pages at a time. It is
// built under scratch names; the target appears (replacing a table of that name) only at finish, and the
// scratch files go when the copy is dropped unfinished. The store must stay open and unchanged meanwhile.
class StoreCopy {
 public:
  StoreCopy(Store& source, const TablePaths& target);
  ~StoreCopy();
  StoreCopy(const StoreCopy&) = delete;
  StoreCopy& operator=(const StoreCopy&) = delete;

  // Copies up to `pages` pages; true when all are copied.
  bool step(int pages);
  // Bytes of the source files copied so far, and in all.
  int64_t bytes_done() const;
  int64_t bytes_total() const { return table_bytes_ + companion_bytes_; }
  // Puts the copied files in place of the target's; all must be copied.
  void finish();

 private:
  void begin_part();
  [[noreturn]] void throw_copy_error(const std::exception& error) const;

  Store& source_;
  TablePaths target_;
  TablePaths scratch_;
  int part_ = 0;  // 0: the table file, 1: the companion, 2: done
  int64_t table_bytes_ = 0;
  int64_t companion_bytes_ = 0;
  std::unique_ptr<SQLite::Database> copy_;
  std::unique_ptr<SQLite::Backup> backup_;
  bool finished_ = false;
};

// Copies the store's files into a new table's files (replacing them), with the rows as last committed.
void copy_store(Store& source, const TablePaths& target);

}  // namespace vemla
