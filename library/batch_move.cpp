#include "batch_move.h"

#include "store.h"
#include "store_copy.h"
#include "table.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error)) return fs::equivalent(a, b, error);
  return fs::weakly_canonical(fs::absolute(a, error), error) ==
         fs::weakly_canonical(fs::absolute(b, error), error);
}

}  // namespace

void BatchMove::copy(Table& source, Table& destination) {
  if (destination.is_open()) throw TableError("Cannot replace the open table " + destination.table_name());
  const TablePaths from = source.paths();
  const TablePaths to = destination.paths();
  if (same_file(from.table, to.table))
    throw TableError("The table " + from.table.string() + " cannot be copied onto itself");
  if (source.is_open()) {
    copy_store(*source.store_, to);
  } else {
    Store store(from, Store::Access::Read);
    copy_store(store, to);
  }
}

}  // namespace vemla
