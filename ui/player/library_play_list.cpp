#include "library_play_list.h"

#include "playlist.h"
#include "rows.h"
#include "table.h"

namespace vemla {

size_t LibraryPlayList::size() const { return list_.entries().size(); }

int32_t LibraryPlayList::entry(size_t slot) const { return list_.entry(static_cast<long>(slot)); }

uint64_t LibraryPlayList::flags(int32_t record) {
  if (!read_) {
    read_ = true;
    if (tracks_.is_open()) {
      std::vector<Field> fields{field(tracks_, TrackTable::skip)};
      if (list_.filter() > 0) fields.push_back(tracks_.field_by_position(list_.filter() - 1));
      flags_ = tracks_.read_flags(fields);
    }
  }
  if (record < 1 || static_cast<size_t>(record) > flags_.size()) return 0;
  return flags_[static_cast<size_t>(record) - 1] | (list_.filter() == 0 ? 2u : 0u);
}

bool LibraryPlayList::passes(int32_t record) { return flags(record) & 2; }

bool LibraryPlayList::skipped(int32_t record) { return flags(record) & 1; }

}  // namespace vemla
