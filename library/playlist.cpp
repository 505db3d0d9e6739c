#include "playlist.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "table.h"
#include "table_error.h"

namespace vemla {

Playlist::Playlist(Table& tracks) : tracks_(tracks) {}

int32_t Playlist::entry(long index) const {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return kEmpty;
  return entries_[static_cast<size_t>(index)];
}

void Playlist::set_entry(size_t index, int32_t record) {
  if (index >= entries_.size()) entries_.resize(index + 1, kEmpty);
  entries_[index] = record;
}

size_t Playlist::filled() const {
  return static_cast<size_t>(std::count_if(entries_.begin(), entries_.end(), [](int32_t e) { return e != kEmpty; }));
}

void Playlist::set_filter(int filter) {
  if (filter < 0 || filter > 64) throw TableError("No category " + std::to_string(filter));
  filter_ = filter;
}

bool Playlist::passes_filter() {
  if (!tracks_.is_open() || tracks_.record_count() == 0) return false;
  return filter_ == 0 || tracks_.field_by_position(filter_ - 1).as_boolean();
}

bool Playlist::go_to_track(int32_t record) {
  if (!tracks_.is_open()) return false;
  if (record < 1) {
    tracks_.first();
    return false;
  }
  tracks_.move_by(record - tracks_.record_number());
  return passes_filter();
}

CategoryMask Playlist::current_categories() {
  if (!tracks_.is_open() || tracks_.record_count() == 0) return 0;
  CategoryMask mask = 0;
  for (int k = 0; k < 64; ++k) {
    if (tracks_.field_by_position(k).as_boolean()) mask |= CategoryMask{1} << k;
  }
  return mask;
}

std::vector<CategoryMask> Playlist::all_categories() {
  std::vector<Field> flags;
  for (int k = 0; k < 64; ++k) flags.push_back(tracks_.field_by_position(k));
  return tracks_.read_flags(flags);
}

bool Playlist::reset() {
  entries_.clear();
  cursor_ = 0;
  if (!tracks_.is_open()) return false;
  tracks_.first();  // posts a pending row first, so that it is counted
  const size_t count = static_cast<size_t>(tracks_.record_count());
  entries_.reserve(count);
  if (filter_ == 0) {
    for (size_t r = 1; r <= count; ++r) entries_.push_back(static_cast<int32_t>(r));
  } else {
    const std::vector<uint64_t> passes = tracks_.read_flags({tracks_.field_by_position(filter_ - 1)});
    for (size_t r = 1; r <= passes.size(); ++r) {
      if (passes[r - 1]) entries_.push_back(static_cast<int32_t>(r));
    }
  }
  entries_.resize(count, kEmpty);
  return go_to_track(entry(0));
}

void Playlist::exchange_from(size_t p, const Draw& draw) {
  // The partner is drawn among the filled slots only: an empty slot swapped in would end the visible list
  // there and drop the tracks after it.
  std::vector<uint32_t> filled_slots;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i] != kEmpty) filled_slots.push_back(static_cast<uint32_t>(i));
  }
  if (filled_slots.empty()) return;
  const uint32_t count = static_cast<uint32_t>(filled_slots.size());
  for (; p < entries_.size() && entries_[p] != kEmpty; ++p) {
    const uint32_t c = filled_slots[std::min(draw(count), count - 1)];
    std::swap(entries_[p], entries_[c]);
  }
}

void Playlist::shuffle(const Draw& draw) {
  exchange_from(static_cast<size_t>(position()), draw);
}

bool Playlist::arrange(const Draw& draw, const ArrangeProgress& progress) {
  filter_ = 0;
  if (!tracks_.is_open()) {
    exchange_from(0, draw);
    cursor_ = 0;
    return false;
  }
  reset();
  exchange_from(0, draw);
  // Every track's mask read once, then kept in list order beside the entries, so that the search for a
  // neighbour scans memory instead of moving the table to each candidate.
  const std::vector<CategoryMask> by_record = all_categories();
  size_t length = 0;
  while (length < entries_.size() && entries_[length] != kEmpty) ++length;
  std::vector<CategoryMask> masks(length);
  for (size_t i = 0; i < length; ++i) {
    const int32_t r = entries_[i];
    masks[i] = r >= 1 && static_cast<size_t>(r) <= by_record.size() ? by_record[static_cast<size_t>(r) - 1] : 0;
  }
  for (size_t i = 0; i + 1 < length; ++i) {
    if (progress && !progress(i, length)) break;
    const CategoryMask m = masks[i];
    if (m == 0) continue;  // a track without categories shares none: the search would find nothing
    for (size_t j = i + 1; j < length; ++j) {
      if (masks[j] & m) {
        std::swap(entries_[i + 1], entries_[j]);
        std::swap(masks[i + 1], masks[j]);
        break;
      }
    }
  }
  cursor_ = 0;
  return go_to_track(entry(0));
}

std::string Playlist::label_text(size_t max_chars) const {
  std::string text;
  char number[16];
  for (size_t i = static_cast<size_t>(position()); i < entries_.size() && entries_[i] != kEmpty; ++i) {
    if (text.size() >= max_chars) break;
    std::snprintf(number, sizeof number, "%02d ", static_cast<int>(entries_[i]));
    text += number;
  }
  return text;
}

}  // namespace vemla
