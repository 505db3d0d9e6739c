#include "track_list_model.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QTimer>
#include <exception>
#include <utility>
#include <vector>

#include "look.h"
#include "table_error.h"

namespace vemla {

namespace {

QString text_of(const std::string& text) {
  return QString::fromStdString(text).trimmed();
}

// "3:07", or "1:02:07" from an hour on.
QString time_of(int ms) {
  const int seconds = std::max(0, ms) / 1000;
  if (seconds >= 3600) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
  }
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool is_number_column(TrackColumn column) {
  return column == TrackColumn::Number || column == TrackColumn::Time || column == TrackColumn::Bitrate ||
         column == TrackColumn::Samplerate;
}

// Index read per slice: short enough that the window answers keys and paints between two.
constexpr std::chrono::milliseconds kBuildSlice{12};

// Deleted rows scattered over more runs than this reset the view: each run costs it a pass over its rows.
constexpr size_t kRemovedRuns = 64;

bool is_mark_column(TrackColumn column) {
  return column == TrackColumn::Stored || column == TrackColumn::Memo || column == TrackColumn::Skip;
}

}  // namespace

TrackListModel::TrackListModel(Table& tracks, QObject* parent)
    : QAbstractTableModel(parent), query_(tracks), builder_(new QTimer(this)) {
  builder_->setSingleShot(true);
  connect(builder_, &QTimer::timeout, this, [this] { build_slice(kBuildSlice); });
  for (int k = 1; k <= 64; ++k) category_names_ << QString::number(k);
}

TrackListModel::~TrackListModel() = default;

QString TrackListModel::column_title(TrackColumn column) {
  switch (column) {
    case TrackColumn::Number:
      return QStringLiteral("#");
    case TrackColumn::Title:
      return QStringLiteral("Title");
    case TrackColumn::Artist:
      return QStringLiteral("Artist");
    case TrackColumn::Album:
      return QStringLiteral("Album");
    case TrackColumn::Time:
      return QStringLiteral("Time");
    case TrackColumn::Bitrate:
      return QStringLiteral("Bit rate");
    case TrackColumn::Samplerate:
      return QStringLiteral("Sampling rate");
    case TrackColumn::Stored:
      return QStringLiteral("Stored");
    case TrackColumn::Categories:
      return QStringLiteral("Categories");
    case TrackColumn::Memo:
      return QStringLiteral("Memo");
    case TrackColumn::Skip:
      return QStringLiteral("Skip");
  }
  return {};
}

int TrackListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : query_.size();
}

int TrackListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kTrackColumnCount;
}

QVariant TrackListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kTrackColumnCount) return {};
  const auto column = static_cast<TrackColumn>(section);
  if (role == Qt::DisplayRole) return column_title(column);
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(is_number_column(column) ? Qt::AlignRight | Qt::AlignVCenter
                                                         : Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

QVariant TrackListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= query_.size()) return {};
  const auto column = static_cast<TrackColumn>(index.column());
  const int record = query_.record_at(index.row());
  switch (role) {
    case Qt::TextAlignmentRole:
      if (is_number_column(column)) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      if (is_mark_column(column)) return QVariant::fromValue(Qt::AlignCenter);
      return {};
    case Qt::FontRole:
      if (record == current_) {
        QFont bold = QApplication::font();
        bold.setBold(true);
        return bold;
      }
      return {};
    case Qt::ForegroundRole:
      if (!played(record)) return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      return {};
    case Qt::DecorationRole:
      if (column == TrackColumn::Number && record == current_)
        return theme_icon("media-playback-start", QStyle::SP_MediaPlay);
      return {};
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
      break;
    default:
      return {};
  }
  try {
    // Reading may reach the table for the rows around this one; a const view of a cache that fills itself.
    const TrackRow& row = const_cast<TrackQuery&>(query_).row(index.row());
    switch (column) {
      case TrackColumn::Number:
        return row.record;
      case TrackColumn::Title:
        return text_of(row.title);
      case TrackColumn::Artist:
        return text_of(row.artist);
      case TrackColumn::Album:
        return text_of(row.album);
      case TrackColumn::Time:
        return time_of(row.time_ms);
      case TrackColumn::Bitrate:
        return text_of(row.bitrate);
      case TrackColumn::Samplerate:
        return text_of(row.samplerate);
      case TrackColumn::Stored:
        return row.stored ? QStringLiteral("\u2713") : QString();
      case TrackColumn::Memo:
        if (role == Qt::ToolTipRole) return row.memo ? QStringLiteral("This track has a memo") : QString();
        return row.memo ? QStringLiteral("\u270E") : QString();
      case TrackColumn::Skip:
        return row.skip ? QStringLiteral("\u2713") : QString();
      case TrackColumn::Categories: {
        QStringList names;
        for (int k = 0; k < 64; ++k) {
          if (row.categories >> k & 1) names << category_names_.value(k);
        }
        return names.join(QStringLiteral(", "));
      }
    }
  } catch (const std::exception&) {
    // A row that cannot be read shows empty; the window reports the table's errors where it uses it.
  }
  return {};
}

void TrackListModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kTrackColumnCount) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  query_.set_order(static_cast<TrackColumn>(column), order == Qt::AscendingOrder);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString TrackListModel::reload() {
  QString problem;
  builder_->stop();
  beginResetModel();
  try {
    query_.begin_reload();
  } catch (const std::exception& error) {
    problem = QString::fromUtf8(error.what());
  }
  endResetModel();
  if (query_.building()) builder_->start(0);
  return problem;
}

bool TrackListModel::building() const {
  return query_.building();
}

void TrackListModel::finish_building() {
  while (query_.building() && builder_->isActive()) build_slice(std::chrono::hours(1));
}

void TrackListModel::build_slice(std::chrono::milliseconds budget) {
  builder_->stop();
  try {
    if (!query_.build(budget)) {
      builder_->start(0);
      return;
    }
  } catch (const std::exception& error) {
    // The rows stay shown in record order; the next change of the library reads the index again.
    emit read_failed(QString::fromUtf8(error.what()));
    return;
  }
  // The rows shown change only with a search, an order or rows that came meanwhile.
  const int before = query_.size();
  const bool same = query_.search().empty() && query_.order_column() == TrackColumn::Number && query_.ascending();
  if (same) {
    query_.finish_build();
    if (query_.size() == before) {
      all_changed();
      return;
    }
  }
  beginResetModel();
  query_.finish_build();
  endResetModel();
}

bool TrackListModel::update() {
  std::vector<int> gone;
  int appended = 0;
  bool in_place = false;
  try {
    if (!query_.rows_changed()) return false;
    in_place = query_.find_deleted(gone, appended);
  } catch (const std::exception&) {
    return false;
  }
  // Runs of deleted rows leave the view one by one, the last first so that the rows of the others keep their
  // numbers meanwhile; the view keeps its selection, current row and place. Rows scattered over many runs
  // cost the view more than one reset.
  std::vector<std::pair<int, int>> runs;
  for (size_t i = 0; in_place && i < gone.size(); ++i) {
    if (!runs.empty() && runs.back().second + 1 == gone[i]) {
      runs.back().second = gone[i];
    } else {
      runs.emplace_back(gone[i], gone[i]);
    }
  }
  if (runs.size() > kRemovedRuns) in_place = false;
  for (auto run = runs.rbegin(); in_place && run != runs.rend(); ++run) {
    beginRemoveRows({}, run->first, run->second);
    query_.drop_rows(run->first, run->second);
    endRemoveRows();
  }
  const int expected = query_.size();
  const bool reset = !in_place || appended > 0;
  if (reset) beginResetModel();
  try {
    query_.update();
  } catch (const std::exception&) {
    // The rows read so far stay; the next change tries again.
  }
  if (reset) {
    endResetModel();
  } else if (query_.size() != expected) {
    // The index was read again after all: the view starts again from the list as it is.
    beginResetModel();
    endResetModel();
  } else {
    all_changed();  // the records after a deleted one are numbered anew
  }
  return true;
}

void TrackListModel::refresh_record(int record) {
  try {
    query_.refresh_record(record);
  } catch (const std::exception&) {
    return;
  }
  row_changed(record);
}

void TrackListModel::set_search(const QString& text) {
  if (text.toStdString() == query_.search()) return;
  beginResetModel();
  query_.set_search(text.toStdString());
  endResetModel();
}

QString TrackListModel::search() const {
  return QString::fromStdString(query_.search());
}

int TrackListModel::record_at(int row) const {
  return query_.record_at(row);
}

int TrackListModel::row_of(int record) const {
  return query_.row_of(record);
}

int TrackListModel::total() const {
  return query_.total();
}

int TrackListModel::record_of_id(int64_t id) const {
  return query_.record_of_id(id);
}

void TrackListModel::set_current(int record) {
  if (record == current_) return;
  const int before = current_;
  current_ = record;
  row_changed(before);
  row_changed(current_);
}

void TrackListModel::set_playlist(const std::vector<int32_t>& entries, int filter) {
  std::vector<bool> in(static_cast<size_t>(query_.total()), false);
  for (int32_t record : entries) {
    if (record >= 1 && record <= query_.total()) in[static_cast<size_t>(record - 1)] = true;
  }
  if (in == in_playlist_ && filter == filter_) return;
  in_playlist_ = std::move(in);
  filter_ = filter;
  all_changed();
}

bool TrackListModel::played(int record) const {
  if (record < 1 || static_cast<size_t>(record) > in_playlist_.size() || !in_playlist_[record - 1]) return false;
  return filter_ == 0 || (categories_of(record) >> (filter_ - 1) & 1);
}

CategoryMask TrackListModel::categories_of(int record) const {
  try {
    // While the index is read, a record beyond it is read with its page: a const view of a filling cache.
    return const_cast<TrackQuery&>(query_).categories_of(record);
  } catch (const std::exception&) {
    return 0;
  }
}

void TrackListModel::set_category_names(const QStringList& names) {
  if (names == category_names_) return;
  category_names_ = names;
  while (category_names_.size() < 64) category_names_ << QString::number(category_names_.size() + 1);
  all_changed();
}

void TrackListModel::row_changed(int record) {
  const int row = query_.row_of(record);
  if (row >= 0) emit dataChanged(index(row, 0), index(row, kTrackColumnCount - 1));
}

void TrackListModel::all_changed() {
  if (query_.size() > 0) emit dataChanged(index(0, 0), index(query_.size() - 1, kTrackColumnCount - 1));
}

}  // namespace vemla
