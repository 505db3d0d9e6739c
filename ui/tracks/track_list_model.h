// The track list's model: a table over the track query, one row per track that matches the search, its
// texts read as the view shows them. It marks the current track and greys the tracks the playlist will not
// play. User-interface thread only. A library's index is read in slices between the window's events: the rows
// show in record order at once, and a search or sort asked for meanwhile is applied when the index is whole.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <vector>

#include "track_query.h"

class QTimer;

namespace vemla {

class Table;

class TrackListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // The track table of the open library; it must outlive the model.
  explicit TrackListModel(Table& tracks, QObject* parent = nullptr);
  ~TrackListModel() override;

  static QString column_title(TrackColumn column);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void sort(int column, Qt::SortOrder order) override;

  // Every row read again (a library opened or closed), the index in slices. An error of the table leaves the
  // list empty and is returned; "" when none.
  QString reload();
  // Whether the index is still being read.
  bool building() const;
  // Reads the rest of the index at once (what the window does in slices).
  void finish_building();
  // Rows added or deleted since are taken in; true when there were any. Deleted rows leave the view in
  // place (its selection, current row and place kept), without the other rows read again.
  bool update();
  // A track's row read again after it was written.
  void refresh_record(int record);
  void set_search(const QString& text);
  QString search() const;

  // The record numbers of the rows, and back; 0 and -1 outside the list.
  int record_at(int row) const;
  int row_of(int record) const;
  int total() const;
  // The record of a row id; 0 when the list has no such row.
  int record_of_id(int64_t id) const;

  // The track marked as current (0: none).
  void set_current(int record);
  int current() const { return current_; }
  // The records the playlist holds and its category filter (0: all): the others are shown as not played.
  void set_playlist(const std::vector<int32_t>& entries, int filter);
  bool played(int record) const;
  CategoryMask categories_of(int record) const;
  // The 64 category names, in order.
  void set_category_names(const QStringList& names);

 signals:
  // The index could not be read to its end (the table's error).
  void read_failed(const QString& problem);

 private:
  void row_changed(int record);
  void all_changed();
  // One slice of the index; the next is asked for while it is not whole.
  void build_slice(std::chrono::milliseconds budget);

  TrackQuery query_;
  QTimer* builder_;
  int current_ = 0;
  std::vector<bool> in_playlist_;  // by record - 1
  int filter_ = 0;
  QStringList category_names_;
};

}  // namespace vemla
