// Copies of an open table's files: made a bounded number of pages at a time, from the rows as last committed,
// into new files that a stage (staged_files.h) puts in place.
#pragma once

#include <SQLiteCpp/Backup.h>
#include <SQLiteCpp/Database.h>

#include <cstdint>
#include <memory>

#include "store_files.h"

namespace vemla {

class Store;

// A copy of an open store's files into new files, a bounded number of pages at a time. The store must stay
// open and unchanged meanwhile. Errors name the copy as the user named it, not the files it is built in.
class StoreCopy {
 public:
  // files: where the copy is built (they must not exist); named: the table it is to become.
  StoreCopy(Store& source, const TablePaths& files, const TablePaths& named);
  ~StoreCopy();
  StoreCopy(const StoreCopy&) = delete;
  StoreCopy& operator=(const StoreCopy&) = delete;

  // Copies up to `pages` pages; true when all are copied.
  bool step(int pages);
  // Bytes of the source files copied so far, and in all.
  int64_t bytes_done() const;
  int64_t bytes_total() const { return table_bytes_ + companion_bytes_; }
  // Gives the copies a pair token of their own, which tells them from the originals; all must be copied.
  void finish();

 private:
  void begin_part();
  [[noreturn]] void throw_copy_error(const std::exception& error) const;

  Store& source_;
  TablePaths files_;
  TablePaths named_;
  int part_ = 0;  // 0: the table file, 1: the companion, 2: done
  int64_t table_bytes_ = 0;
  int64_t companion_bytes_ = 0;
  std::unique_ptr<SQLite::Database> copy_;
  std::unique_ptr<SQLite::Backup> backup_;
};

// Copies the store's files over the target's (a table of that name is replaced, unless another program has
// it open), with the rows as last committed; the copy appears whole or not at all.
void copy_store(Store& source, const TablePaths& target);

}  // namespace vemla
