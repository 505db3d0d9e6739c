// How the track query follows rows that come and go: deleted rows leave the index where they stand, found by
// their ids beside the table's, so that a delete costs no reading of the other rows; rows appended are read.
#include <algorithm>

#include "table.h"
#include "track_query.h"

namespace vemla {

namespace {

// Walks ids the list knows (ascending, as the table numbers its rows) beside the table's rows: the positions
// of those the table no longer holds go into `gone`. False when the table holds a row among them that the list
// never had. The table's rows after the last one known are rows appended.
template <class IdAt>
bool find_gone(const Table& table, size_t known, IdAt id_at, std::vector<int32_t>& gone) {
  gone.clear();
  const int count = table.record_count();
  int record = 1;
  for (size_t i = 0; i < known; ++i) {
    const int64_t id = id_at(i);
    const int64_t held = record <= count ? table.id_of(record) : 0;  // 0: past the table's last row
    if (held == id) {
      ++record;
      continue;
    }
    if (held != 0 && held < id) return false;
    gone.push_back(static_cast<int32_t>(i));
  }
  return true;
}

}  // namespace

bool TrackQuery::holds_table_rows() const {
  if (static_cast<size_t>(tracks_.record_count()) != keys_.size()) return false;
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i].id != tracks_.id_of(static_cast<int>(i) + 1)) return false;
  }
  return true;
}

bool TrackQuery::rows_changed() {
  if (!tracks_.is_open() || !tracks_.store()) return building_ || !keys_.empty();
  if (tracks_.rows_renewed() != renewed_) return true;
  const int count = tracks_.record_count();
  if (building_) {
    return static_cast<size_t>(count) != building_ids_.size() ||
           (count > 0 && tracks_.id_of(count) != building_ids_.back());
  }
  return static_cast<size_t>(count) != keys_.size() || (count > 0 && tracks_.id_of(count) != keys_.back().id);
}

bool TrackQuery::find_gone_keys(std::vector<int32_t>& gone) const {
  return find_gone(tracks_, keys_.size(), [this](size_t i) { return keys_[i].id; }, gone);
}

bool TrackQuery::find_deleted(std::vector<int>& rows, int& appended) const {
  rows.clear();
  appended = 0;
  // New rows may carry the ids of rows that went: nothing can be told by ids alone.
  if (!tracks_.is_open() || !tracks_.store() || tracks_.rows_renewed() != renewed_) return false;
  std::vector<int32_t> gone;
  size_t known = 0;
  if (building_) {
    // The rows shown are the table's as they were, in record order.
    known = building_ids_.size();
    if (!find_gone(tracks_, known, [this](size_t i) { return building_ids_[i]; }, gone)) return false;
    rows.assign(gone.begin(), gone.end());
  } else {
    known = keys_.size();
    if (!find_gone_keys(gone)) return false;
    std::vector<char> went(keys_.size(), 0);
    for (int32_t index : gone) went[static_cast<size_t>(index)] = 1;
    for (size_t row = 0; row < shown_.size(); ++row) {
      if (went[static_cast<size_t>(shown_[row])]) rows.push_back(static_cast<int>(row));
    }
  }
  appended = tracks_.record_count() - static_cast<int>(known - gone.size());
  return appended >= 0;
}

void TrackQuery::drop_rows(int first, int last) {
  if (first < 0 || last < first || last >= size()) return;
  row_of_key_.clear();
  if (building_) {
    building_ids_.erase(building_ids_.begin() + first, building_ids_.begin() + last + 1);
  } else {
    shown_.erase(shown_.begin() + first, shown_.begin() + last + 1);
  }
}

void TrackQuery::drop_keys(const std::vector<int32_t>& gone) {
  if (gone.empty()) return;
  std::vector<int32_t> moved(keys_.size(), -1);  // a key's index before -> after; -1 when it went
  size_t next_gone = 0, kept = 0;
  for (size_t i = 0; i < keys_.size(); ++i) {
    const Key& key = keys_[i];
    if (next_gone < gone.size() && static_cast<size_t>(gone[next_gone]) == i) {
      ++next_gone;
      dead_text_ += key.lengths[0] + key.lengths[1] + key.lengths[2] + key.lengths[3];
      rows_.erase(key.id);
      continue;
    }
    moved[i] = static_cast<int32_t>(kept);
    keys_[kept++] = key;
  }
  keys_.resize(kept);
  // The rows left keep their sequence: the order and a search give them so whatever went between.
  const auto renumber = [&moved](std::vector<int32_t>& indices) {
    size_t out = 0;
    for (int32_t index : indices) {
      if (moved[static_cast<size_t>(index)] >= 0) indices[out++] = moved[static_cast<size_t>(index)];
    }
    indices.resize(out);
  };
  renumber(order_);
  renumber(shown_);
  row_of_key_.clear();
  gather_text();
}

bool TrackQuery::follow_table() {
  std::vector<int32_t> gone;
  if (!find_gone_keys(gone)) return false;
  const uint64_t renewed = tracks_.rows_renewed() - renewed_;
  renewed_ = tracks_.rows_renewed();
  const int count = tracks_.record_count();
  if (renewed > 0 && count > 0) {
    // The last rows, as many as were posted since, may be new rows under the ids of rows that went: their
    // keys and texts are read again.
    const int first = count - static_cast<int>(std::min<uint64_t>(renewed, static_cast<uint64_t>(count))) + 1;
    for (int record = first; record <= count; ++record) rows_.erase(tracks_.id_of(record));
    const int64_t from = tracks_.id_of(first);
    const auto tail = std::lower_bound(keys_.begin(), keys_.end(), from,
                                       [](const Key& key, int64_t id) { return key.id < id; });
    const auto tail_at = static_cast<int32_t>(tail - keys_.begin());
    std::erase_if(gone, [tail_at](int32_t index) { return index >= tail_at; });
    for (int32_t index = tail_at; index < static_cast<int32_t>(keys_.size()); ++index) gone.push_back(index);
  }
  drop_keys(gone);
  return true;
}

void TrackQuery::read_whole() {
  clear();
  renewed_ = tracks_.rows_renewed();
  read_keys(0);
}

bool TrackQuery::update() {
  if (!rows_changed()) return false;
  if (!tracks_.is_open() || !tracks_.store()) {
    reload();
    return true;
  }
  if (building_) {
    // The rows shown follow the table; the index loses the rows that went and reads on from where it was,
    // or starts again when it cannot tell what changed.
    if (!follow_table()) {
      clear();
      renewed_ = tracks_.rows_renewed();
    }
    building_ids_.resize(static_cast<size_t>(tracks_.record_count()));
    for (size_t i = 0; i < building_ids_.size(); ++i) building_ids_[i] = tracks_.id_of(static_cast<int>(i) + 1);
    row_of_key_.clear();
    return true;
  }
  if (follow_table()) {
    const bool appended = static_cast<size_t>(tracks_.record_count()) > keys_.size();
    if (appended) read_keys(keys_.empty() ? 0 : keys_.back().id);
    if (holds_table_rows()) {
      if (appended) sort_and_filter();
      return true;
    }
  }
  read_whole();
  sort_and_filter();
  return true;
}

}  // namespace vemla
