#include "track_query.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "schema.h"
#include "store.h"
#include "table.h"
#include "table_error.h"
#include "text_fold.h"

namespace vemla {

namespace {

// The columns the list reads, by their names in the track table.
constexpr std::string_view kTitle = TrackTable::title.name;
constexpr std::string_view kArtist = TrackTable::artist.name;
constexpr std::string_view kAlbum = TrackTable::album.name;
constexpr std::string_view kTime = TrackTable::tracktotal.name;
constexpr std::string_view kBitrate = TrackTable::bitrate.name;
constexpr std::string_view kSamplerate = TrackTable::samplerate.name;
constexpr std::string_view kSkip = TrackTable::skip.name;
constexpr std::string_view kMemo = TrackTable::memo.name;
constexpr std::string_view kData = TrackTable::data.name;

constexpr uint8_t kStored = 1, kHasMemo = 2, kSkipped = 4;
// A memo is searched through its first 64 KB: enough for any note, bounded for one pasted by mistake.
constexpr size_t kSearchedMemo = 64 * 1024;
// Rows read around the one asked for, and how many texts are kept before they are all read again.
constexpr int kPageBefore = 32, kPageAfter = 96;
constexpr size_t kKeptRows = 4096;

// A column kept in the table file, or NULL where the table lacks it.
std::string row_value(const Store& store, std::string_view name) {
  const int position = store.position_of(name);
  if (position < 0 || stored_apart(store.columns()[position].type)) return "NULL";
  return "r." + row_column(position);
}

// "128 kbit/s": 128; "44.1 kHz": 44100; anything else 0.
int32_t leading_number(const std::string& text, double scale) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || value < 0 || value > 1e7) return 0;
  return static_cast<int32_t>(value * scale + 0.5);
}

std::string column_text(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

CategoryMask bit_reverse(CategoryMask mask) {
  CategoryMask reversed = 0;
  for (int k = 0; k < 64; ++k) reversed |= ((mask >> k) & 1) << (63 - k);
  return reversed;
}

CategoryMask categories_at(sqlite3_stmt* statement, int first) {
  CategoryMask categories = 0;
  for (int k = 0; k < 64; ++k) {
    if (sqlite3_column_int64(statement, first + k) != 0) categories |= CategoryMask{1} << k;
  }
  return categories;
}

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Statement prepare(Store& store, const std::string& sql) {
  sqlite3* db = store.sql().getHandle();
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    sqlite3_finalize(raw);
    throw TableError("Cannot read " + store.paths().table.string() + ": " + sqlite3_errmsg(db));
  }
  return Statement(raw, sqlite3_finalize);
}

[[noreturn]] void throw_read_error(Store& store) {
  throw TableError("Cannot read " + store.paths().table.string() + ": " + sqlite3_errmsg(store.sql().getHandle()));
}

}  // namespace

// One statement over the rows whose index is read: id, title, artist, album, time, bit rate, sampling rate,
// skip, memo, stored, then the 64 category flags.
class TrackQuery::Reader {
 public:
  enum { kId, kTitleAt, kArtistAt, kAlbumAt, kTimeAt, kBitrateAt, kSamplerateAt, kSkipAt, kMemoAt, kStoredAt, kFirstCategory };

  Reader(Store& store, const std::string& where) : store_(store), statement_(nullptr, sqlite3_finalize) {
    std::string sql = "SELECT r.id";
    for (std::string_view name : {kTitle, kArtist, kAlbum, kTime, kBitrate, kSamplerate, kSkip})
      sql += ", " + row_value(store, name);
    const int memo = store.position_of(kMemo);
    sql += memo >= 0 && store.columns()[memo].type == ColumnType::Memo
               ? ", (SELECT substr(value, 1, " + std::to_string(kSearchedMemo) + ") FROM mb.v" +
                     std::to_string(memo) + " WHERE id=r.id)"
               : ", NULL";
    const int data = store.position_of(kData);
    sql += data >= 0 && store.columns()[data].type == ColumnType::Blob
               ? ", EXISTS(SELECT 1 FROM mb.v" + std::to_string(data) + " WHERE id=r.id)"
               : ", 0";
    for (int k = 1; k <= 64; ++k) sql += ", " + row_value(store, TrackTable::category(k).name);
    statement_ = prepare(store, sql + " FROM rows r " + where + " ORDER BY r.id");
  }

  sqlite3_stmt* get() { return statement_.get(); }
  bool step() {
    const int rc = sqlite3_step(statement_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) throw_read_error(store_);
    return false;
  }

 private:
  Store& store_;
  Statement statement_;
};

TrackQuery::TrackQuery(Table& tracks) : tracks_(tracks) {}
TrackQuery::~TrackQuery() = default;

void TrackQuery::clear() {
  keys_.clear();
  text_.clear();
  dead_text_ = 0;
  rows_.clear();
}

void TrackQuery::reload() {
  clear();
  building_ = whole_ = false;
  building_ids_ = {};
  if (tracks_.is_open()) read_whole();
  sort_and_filter();
}

void TrackQuery::begin_reload() {
  clear();
  whole_ = false;
  building_ = tracks_.is_open() && tracks_.store();
  building_ids_.clear();
  if (!building_) {
    sort_and_filter();
    return;
  }
  order_.clear();
  shown_.clear();
  row_of_key_.clear();
  narrowable_ = false;
  renewed_ = tracks_.rows_renewed();
  building_ids_.resize(static_cast<size_t>(tracks_.record_count()));
  for (size_t i = 0; i < building_ids_.size(); ++i) building_ids_[i] = tracks_.id_of(static_cast<int>(i) + 1);
}

bool TrackQuery::build(std::chrono::milliseconds budget) {
  if (!building_ || whole_) return whole_;
  if (!tracks_.is_open() || !tracks_.store()) {
    clear();  // closed meanwhile: an empty list
    return whole_ = true;
  }
  if (!read_keys(keys_.empty() ? 0 : keys_.back().id, Clock::now() + budget)) return false;
  if (holds_table_rows() && tracks_.rows_renewed() == renewed_) return whole_ = true;
  // Rows the index read went meanwhile: they leave it, rows that may be new are read again in the next slice;
  // anything else has it read again from the start.
  if (follow_table()) {
    if (holds_table_rows()) return whole_ = true;
    if (static_cast<size_t>(tracks_.record_count()) > keys_.size()) return false;
  }
  clear();
  renewed_ = tracks_.rows_renewed();
  return false;
}

void TrackQuery::finish_build() {
  if (!building_ || !whole_) return;
  building_ = whole_ = false;
  building_ids_ = {};
  sort_and_filter();
}

bool TrackQuery::read_keys(int64_t after_id, Clock::time_point deadline) {
  Store* store = tracks_.store();
  if (!store) return true;
  Reader reader(*store, after_id > 0 ? "WHERE r.id > " + std::to_string(after_id) : std::string());
  for (size_t read = 1; reader.step(); ++read) {
    keys_.emplace_back();
    fill_key(keys_.back(), reader);
    ++rows_read_;
    // The clock is read every 64 rows: a row takes microseconds.
    if (read % 64 == 0 && Clock::now() >= deadline) return false;
  }
  return true;
}

void TrackQuery::fill_key(Key& key, Reader& reader) {
  sqlite3_stmt* s = reader.get();
  key.id = sqlite3_column_int64(s, Reader::kId);
  key.time_ms = static_cast<int32_t>(sqlite3_column_int64(s, Reader::kTimeAt));
  key.bitrate = leading_number(column_text(s, Reader::kBitrateAt), 1);
  key.samplerate = leading_number(column_text(s, Reader::kSamplerateAt), 1000);
  const std::string memo = column_text(s, Reader::kMemoAt);
  key.flags = static_cast<uint8_t>((sqlite3_column_int64(s, Reader::kStoredAt) ? kStored : 0) |
                                   (memo.empty() ? 0 : kHasMemo) |
                                   (sqlite3_column_int64(s, Reader::kSkipAt) ? kSkipped : 0));
  key.categories = categories_at(s, Reader::kFirstCategory);
  dead_text_ += key.lengths[0] + key.lengths[1] + key.lengths[2] + key.lengths[3];  // 0 for a new row
  key.text = static_cast<uint32_t>(text_.size());
  const std::string texts[4] = {column_text(s, Reader::kTitleAt), column_text(s, Reader::kArtistAt),
                                column_text(s, Reader::kAlbumAt), memo};
  for (int i = 0; i < 4; ++i) {
    const std::string folded = fold_text(texts[i]);
    key.lengths[i] = static_cast<uint32_t>(folded.size());
    text_ += folded;
  }
}

void TrackQuery::refresh_record(int record) {
  if (record < 1 || record > total() || !tracks_.is_open() || !tracks_.store()) return;
  narrowable_ = false;
  if (building_) rows_.erase(building_ids_[static_cast<size_t>(record - 1)]);
  if (!key_of(record)) return;  // read when the index comes to it
  Key& key = keys_[static_cast<size_t>(record - 1)];
  rows_.erase(key.id);
  Reader reader(*tracks_.store(), "WHERE r.id = " + std::to_string(key.id));
  if (!reader.step()) return;  // gone: the next update drops it
  fill_key(key, reader);
  gather_text();
}

void TrackQuery::gather_text() {
  if (dead_text_ <= text_.size() / 2 || dead_text_ <= (1u << 20)) return;
  std::string live;
  live.reserve(text_.size() - dead_text_);
  for (Key& k : keys_) {
    const uint32_t length = k.lengths[0] + k.lengths[1] + k.lengths[2] + k.lengths[3];
    const uint32_t offset = static_cast<uint32_t>(live.size());
    live.append(text_, k.text, length);
    k.text = offset;
  }
  text_.swap(live);
  dead_text_ = 0;
}

std::string_view TrackQuery::field(const Key& key, int index) const {
  uint32_t offset = key.text;
  for (int i = 0; i < index; ++i) offset += key.lengths[i];
  return std::string_view(text_).substr(offset, key.lengths[index]);
}

void TrackQuery::set_search(std::string_view text) {
  const bool same = search_ == text;
  search_ = std::string(text);
  std::vector<std::string> words = search_words(text);
  // A search that only narrows the last one (a letter typed on) looks through the rows that matched it,
  // unless a row was written since (it may match now).
  bool narrows = narrowable_ && !same && !words_.empty() && words.size() >= words_.size();
  for (size_t i = 0; narrows && i < words_.size(); ++i) narrows = words[i].find(words_[i]) != std::string::npos;
  words_ = std::move(words);
  if (building_) return;  // applied when the index is whole
  if (!narrows) {
    filter();
    return;
  }
  row_of_key_.clear();
  std::erase_if(shown_, [this](int32_t index) { return !matches(keys_[index]); });
}

void TrackQuery::set_order(TrackColumn column, bool ascending) {
  column_ = column;
  ascending_ = ascending;
  if (!building_) sort_and_filter();
}

void TrackQuery::sort_and_filter() {
  order_.resize(keys_.size());
  // Each row's key beside its index, sorted together: the comparisons read them in a row, not through the
  // index. Ties keep record order whichever way the list runs.
  const auto sort_by = [this](auto key_of) {
    using KeyType = decltype(key_of(int32_t{0}));
    std::vector<std::pair<KeyType, int32_t>> keyed(keys_.size());
    for (size_t i = 0; i < keys_.size(); ++i) keyed[i] = {key_of(static_cast<int32_t>(i)), static_cast<int32_t>(i)};
    std::stable_sort(keyed.begin(), keyed.end(), [this](const auto& a, const auto& b) {
      return ascending_ ? a.first < b.first : b.first < a.first;
    });
    for (size_t i = 0; i < keyed.size(); ++i) order_[i] = keyed[i].second;
  };
  // Empty texts after the others: a key that leads with whether it is empty.
  const auto text_key = [this](int index) {
    return [this, index](int32_t i) {
      const std::string_view text = field(keys_[i], index);
      return std::pair<bool, std::string_view>(text.empty(), text);
    };
  };
  const auto flag_key = [this](uint8_t flag) { return [this, flag](int32_t i) { return (keys_[i].flags & flag) != 0; }; };
  switch (column_) {
    case TrackColumn::Number:
      for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int32_t>(ascending_ ? i : order_.size() - 1 - i);
      break;
    case TrackColumn::Title:
      sort_by(text_key(0));
      break;
    case TrackColumn::Artist:
      sort_by(text_key(1));
      break;
    case TrackColumn::Album:
      sort_by(text_key(2));
      break;
    case TrackColumn::Time:
      sort_by([this](int32_t i) { return keys_[i].time_ms; });
      break;
    case TrackColumn::Bitrate:
      sort_by([this](int32_t i) { return keys_[i].bitrate; });
      break;
    case TrackColumn::Samplerate:
      sort_by([this](int32_t i) { return keys_[i].samplerate; });
      break;
    case TrackColumn::Stored:
      sort_by(flag_key(kStored));
      break;
    case TrackColumn::Memo:
      sort_by(flag_key(kHasMemo));
      break;
    case TrackColumn::Skip:
      sort_by(flag_key(kSkipped));
      break;
    case TrackColumn::Categories:
      // The track of the lowest category first, tracks without a category last: the categories read from
      // category 1 on, as the bits of a number read from the highest.
      sort_by([this](int32_t i) {
        const CategoryMask mask = keys_[i].categories;
        return std::pair<bool, CategoryMask>(mask == 0, ~bit_reverse(mask));
      });
      break;
  }
  filter();
}

bool TrackQuery::matches(const Key& key) const {
  const std::string_view texts(text_.data() + key.text,
                               key.lengths[0] + key.lengths[1] + key.lengths[2] + key.lengths[3]);
  for (const std::string& word : words_) {
    bool found = false;
    uint32_t offset = 0;
    // Within one field: a word never spans the end of the title and the start of the artist.
    for (int i = 0; i < 4 && !found; ++i) {
      found = texts.substr(offset, key.lengths[i]).find(word) != std::string_view::npos;
      offset += key.lengths[i];
    }
    if (!found) return false;
  }
  return true;
}

void TrackQuery::filter() {
  row_of_key_.clear();
  narrowable_ = true;
  if (words_.empty()) {
    shown_ = order_;
    return;
  }
  shown_.clear();
  for (int32_t index : order_) {
    if (matches(keys_[index])) shown_.push_back(index);
  }
}

int TrackQuery::record_at(int row) const {
  if (row < 0 || row >= size()) return 0;
  return building_ ? row + 1 : shown_[static_cast<size_t>(row)] + 1;
}

int TrackQuery::row_of(int record) const {
  if (record < 1 || record > total()) return -1;
  if (building_) return record - 1;
  if (row_of_key_.size() != keys_.size()) {
    row_of_key_.assign(keys_.size(), -1);
    for (size_t row = 0; row < shown_.size(); ++row) row_of_key_[shown_[row]] = static_cast<int32_t>(row);
  }
  return row_of_key_[static_cast<size_t>(record - 1)];
}

int TrackQuery::record_of_id(int64_t id) const {
  if (building_) {
    const auto found = std::lower_bound(building_ids_.begin(), building_ids_.end(), id);
    return found != building_ids_.end() && *found == id ? static_cast<int>(found - building_ids_.begin()) + 1 : 0;
  }
  const auto found =
      std::lower_bound(keys_.begin(), keys_.end(), id, [](const Key& key, int64_t value) { return key.id < value; });
  return found != keys_.end() && found->id == id ? static_cast<int>(found - keys_.begin()) + 1 : 0;
}

CategoryMask TrackQuery::categories_of(int record) {
  if (record < 1 || record > total()) return 0;
  if (const Key* key = key_of(record)) return key->categories;
  return building_ ? row(record - 1).categories : 0;
}

const TrackQuery::Key* TrackQuery::key_of(int record) const {
  if (record < 1 || static_cast<size_t>(record) > keys_.size()) return nullptr;
  const Key& key = keys_[static_cast<size_t>(record - 1)];
  if (building_ && (static_cast<size_t>(record) > building_ids_.size() || building_ids_[record - 1] != key.id))
    return nullptr;
  return &key;
}

int64_t TrackQuery::id_at(int row) const {
  if (!building_) return keys_[static_cast<size_t>(shown_[static_cast<size_t>(row)])].id;
  return building_ids_[static_cast<size_t>(row)];
}

const TrackRow& TrackQuery::row(int row) {
  if (row < 0 || row >= size()) throw std::out_of_range("No track row " + std::to_string(row));
  const int64_t id = id_at(row);
  auto found = rows_.find(id);
  if (found == rows_.end()) {
    fetch_around(row);
    found = rows_.find(id);
    if (found == rows_.end()) found = rows_.emplace(id, TrackRow{}).first;  // gone from the table
  }
  TrackRow& shown = found->second;
  shown.record = record_at(row);
  // The numbers and flags come from the index, which follows every write; until it holds the row, from the
  // row's page.
  if (const Key* key = key_of(shown.record); key && key->id == id) {
    shown.time_ms = key->time_ms;
    shown.stored = key->flags & kStored;
    shown.memo = key->flags & kHasMemo;
    shown.skip = key->flags & kSkipped;
    shown.categories = key->categories;
  }
  return shown;
}

void TrackQuery::fetch_around(int row) {
  Store* store = tracks_.is_open() ? tracks_.store() : nullptr;
  if (!store) return;
  if (rows_.size() > kKeptRows) rows_.clear();
  std::string ids;
  const int first = std::max(0, row - kPageBefore), last = std::min(size(), row + kPageAfter);
  for (int r = first; r < last; ++r) {
    const int64_t id = id_at(r);
    if (id == 0 || rows_.count(id)) continue;
    ids += (ids.empty() ? "" : ",") + std::to_string(id);
  }
  if (ids.empty()) return;
  // Every column the list shows, for rows the index does not hold yet.
  Reader reader(*store, "WHERE r.id IN (" + ids + ")");
  sqlite3_stmt* s = reader.get();
  while (reader.step()) {
    TrackRow& shown = rows_[sqlite3_column_int64(s, Reader::kId)];
    shown.title = column_text(s, Reader::kTitleAt);
    shown.artist = column_text(s, Reader::kArtistAt);
    shown.album = column_text(s, Reader::kAlbumAt);
    shown.bitrate = column_text(s, Reader::kBitrateAt);
    shown.samplerate = column_text(s, Reader::kSamplerateAt);
    shown.time_ms = static_cast<int>(sqlite3_column_int64(s, Reader::kTimeAt));
    shown.stored = sqlite3_column_int64(s, Reader::kStoredAt) != 0;
    shown.memo = sqlite3_column_bytes(s, Reader::kMemoAt) > 0;
    shown.skip = sqlite3_column_int64(s, Reader::kSkipAt) != 0;
    shown.categories = categories_at(s, Reader::kFirstCategory);
  }
}

}  // namespace vemla
