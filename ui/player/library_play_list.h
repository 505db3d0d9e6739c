// The library's playlist as the play order reads it: the entries and, for each track, whether it passes the
// category filter and whether it is flagged Auto Skip. The flags of every track are read at once, at the
// first question, so make one for each decision: it does not see later changes. User-interface thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "play_order.h"

namespace vemla {

class Playlist;
class Table;

class LibraryPlayList final : public PlayList {
 public:
  // Both must outlive the object. The filter is the playlist's own.
  LibraryPlayList(const Playlist& list, Table& tracks) : list_(list), tracks_(tracks) {}

  size_t size() const override;
  int32_t entry(size_t slot) const override;
  // Errors of the table store are thrown.
  bool passes(int32_t record) override;
  bool skipped(int32_t record) override;

 private:
  // The word of `record`: bit 0 Auto Skip, bit 1 the filter's category; 0 outside the table.
  uint64_t flags(int32_t record);

  const Playlist& list_;
  Table& tracks_;
  bool read_ = false;
  std::vector<uint64_t> flags_;
};

}  // namespace vemla
