// The open library's tracks as a list to show: the rows that match a search, in the order of a column, and
// the texts of the rows a window shows, read from the table a page at a time. What it keeps of every row is
// a small index (the folded texts it searches and sorts by, the numbers and flags), never the rows whole.
// A large library's index may be read a slice at a time (begin_reload, build) so that the window shows the
// first rows at once and answers meanwhile.
// Reads through the track table's own connection: the thread that uses the table only.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "playlist.h"

namespace vemla {

class Table;

enum class TrackColumn { Number, Title, Artist, Album, Time, Bitrate, Samplerate, Stored, Categories, Memo, Skip };
inline constexpr int kTrackColumnCount = 11;

// What the list shows of one track.
struct TrackRow {
  int record = 0;  // 1-based record number
  std::string title, artist, album, bitrate, samplerate;
  int time_ms = 0;
  bool stored = false;  // the audio is in the library
  bool memo = false;    // a memo exists
  bool skip = false;
  CategoryMask categories = 0;
};

class TrackQuery {
 public:
  // The track table of the open library; it may be closed (the list is then empty).
  explicit TrackQuery(Table& tracks);
  ~TrackQuery();
  TrackQuery(const TrackQuery&) = delete;
  TrackQuery& operator=(const TrackQuery&) = delete;

  // Reads the index of every row afresh (a library opened or closed). Errors of the table are TableErrors.
  void reload();
  // Begins reading the index afresh, a slice at a time through build(). Meanwhile every row shows in record
  // order, its texts read with its page; a search or order asked for takes effect at finish_build().
  void begin_reload();
  bool building() const { return building_; }
  // Reads rows into the index for about `budget`; true when the index holds every row (call finish_build).
  // A row deleted meanwhile has the index read again from the start.
  bool build(std::chrono::milliseconds budget);
  // Applies the search and order to the whole index; nothing unless build() said it is whole.
  void finish_build();
  // Whether rows came or went since the list took them in (cheap: the count and the last row's id).
  bool rows_changed();
  // The rows deleted from the table since the list took its rows in, told by their ids alone (no row is
  // read): the shown rows they were, ascending, and how many rows were appended after. False when the list
  // cannot tell what changed; update() then reads the index whole.
  bool find_deleted(std::vector<int>& rows, int& appended) const;
  // Takes the shown rows first ... last, rows find_deleted() named, out of the list ahead of update(), so that
  // a view is told of each run of rows as it goes.
  void drop_rows(int first, int last);
  // Brings the list up to the table's rows. Rows deleted leave the index where they stand (the search, the
  // order and the other rows kept, none read again); rows appended are read and placed by the order; a change
  // the list cannot tell apart has the index read whole again. True when rows came or went.
  bool update();
  // Rows read into the index since the query was made, a row read again counting again: what changes cost.
  int64_t rows_read() const { return rows_read_; }
  // Reads one row again after it was written (its texts, flags, categories).
  void refresh_record(int record);

  // Words in any order, each found in the title, artist, album or memo, case and accents aside.
  void set_search(std::string_view text);
  const std::string& search() const { return search_; }
  // Rows ordered by the column's values, ties in record order; empty texts after the others (before them when
  // descending).
  void set_order(TrackColumn column, bool ascending);
  TrackColumn order_column() const { return column_; }
  bool ascending() const { return ascending_; }

  int total() const { return static_cast<int>(building_ ? building_ids_.size() : keys_.size()); }
  int size() const { return static_cast<int>(building_ ? building_ids_.size() : shown_.size()); }
  // The record number of a shown row; 0 outside the list.
  int record_at(int row) const;
  // The row that shows a record; -1 when it does not match the search (or does not exist).
  int row_of(int record) const;
  // The record of a row id among the list's rows; 0 when it has none.
  int record_of_id(int64_t id) const;
  // A shown row's texts, read with the rows around it and kept for a while. The row must be in the list.
  const TrackRow& row(int row);
  // The categories of a record (1-based); 0 outside the table. While the index is read, a record not yet in
  // it is read with its page.
  CategoryMask categories_of(int record);

 private:
  struct Key {
    int64_t id = 0;
    uint32_t text = 0;  // offset of the folded title, artist, album and memo in text_
    uint32_t lengths[4] = {};
    int32_t time_ms = 0;
    int32_t bitrate = 0;     // kbit/s; 0 for free format or none
    int32_t samplerate = 0;  // Hz
    uint8_t flags = 0;
    CategoryMask categories = 0;
  };
  class Reader;

  void clear();
  using Clock = std::chrono::steady_clock;
  // Reads the keys of the rows after `after_id` (all with 0) onto the end of the index, until the deadline;
  // true when no row is left.
  bool read_keys(int64_t after_id, Clock::time_point deadline = Clock::time_point::max());
  void fill_key(Key& key, Reader& reader);
  // The index's key of a record; null while the index is read and does not hold it yet.
  const Key* key_of(int record) const;
  int64_t id_at(int row) const;
  // Whether the index holds the table's rows, in order.
  bool holds_table_rows() const;
  // The index's keys of rows the table no longer holds, ascending; false when the table holds a row among
  // them that the index never had.
  bool find_gone_keys(std::vector<int32_t>& gone) const;
  // Drops those keys from the index, the order and the rows shown, which keep their sequence.
  void drop_keys(const std::vector<int32_t>& gone);
  // Drops the keys of rows that went, and of rows that may be new under an old id, to be read again; false
  // when the list cannot tell what changed.
  bool follow_table();
  // Reads the index of every row again, at once.
  void read_whole();
  // Gathers the texts again once rows re-read or dropped leave more room unused than the live ones take.
  void gather_text();
  void sort_and_filter();
  void filter();
  bool matches(const Key& key) const;
  std::string_view field(const Key& key, int index) const;
  void fetch_around(int row);

  Table& tracks_;
  std::vector<Key> keys_;  // in record order
  std::string text_;       // the folded texts of every row, one after another
  size_t dead_text_ = 0;   // bytes of text_ that rows re-read no longer use
  std::string search_;
  std::vector<std::string> words_;
  bool narrowable_ = false;  // shown_ holds every row that matches words_
  TrackColumn column_ = TrackColumn::Number;
  bool ascending_ = true;
  std::vector<int32_t> order_;  // key indices, all rows in the chosen order
  std::vector<int32_t> shown_;  // the rows of order_ that match
  mutable std::vector<int32_t> row_of_key_;  // key index -> shown row, made when first asked
  std::unordered_map<int64_t, TrackRow> rows_;  // texts by row id
  bool building_ = false;
  bool whole_ = false;      // built: every row is read, finish_build() not yet called
  std::vector<int64_t> building_ids_;  // the rows shown, in record order, while the index is read
  int64_t rows_read_ = 0;
  uint64_t renewed_ = 0;  // the table's rows_renewed() when the list last took its rows in
};

}  // namespace vemla
