#include "track_list.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QScopedValueRollback>
#include <QVBoxLayout>
#include <algorithm>

#include "look.h"
#include "track_list_model.h"

namespace vemla {

namespace {

// More than this many selected rows are not restored one by one after a reset; the current one is.
constexpr int kRestoredSelection = 2000;

// Each column's width in digits, in TrackColumn's order; the text columns share what room the others leave.
constexpr int kColumnDigits[kTrackColumnCount] = {5, 20, 14, 14, 6, 9, 10, 5, 12, 5, 4};
constexpr bool kColumnFlexible[kTrackColumnCount] = {false, true, true, true, false, false, false, false, true, false,
                                                     false};
constexpr int kColumnDigitsAtLeast = 4;
constexpr int kColumnPadding = 12;

}  // namespace

TrackList::TrackList(Table& tracks, QWidget* parent) : QFrame(parent), model_(new TrackListModel(tracks, this)) {
  setObjectName(QStringLiteral("TrackList"));
  Search = named(new QLineEdit(this), "TrackSearch");
  Search->setPlaceholderText(QStringLiteral("Search title, artist, album, memo (Ctrl+F)"));
  Search->setClearButtonEnabled(true);
  Search->setAccessibleName(QStringLiteral("Search tracks"));
  hint(Search, QStringLiteral("Words in any order; Enter plays the first match, Down goes to the list"));

  View = named(new QTableView(this), "TrackView");
  View->setModel(model_);
  View->setAccessibleName(QStringLiteral("Tracks"));
  View->setSelectionBehavior(QAbstractItemView::SelectRows);
  View->setSelectionMode(QAbstractItemView::ExtendedSelection);
  View->setEditTriggers(QAbstractItemView::NoEditTriggers);
  View->setTabKeyNavigation(false);  // the arrows move in the list; Tab goes on to the next control
  View->setWordWrap(false);
  View->setShowGrid(false);
  View->setAlternatingRowColors(true);
  View->setSortingEnabled(true);
  View->sortByColumn(0, Qt::AscendingOrder);
  View->setContextMenuPolicy(Qt::CustomContextMenu);
  View->verticalHeader()->hide();
  // Rows of one height: the view never measures 100,000 of them.
  View->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  View->verticalHeader()->setDefaultSectionSize(View->fontMetrics().height() + 6);
  QHeaderView* header = View->horizontalHeader();
  header->setSectionsMovable(true);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  const int digit = View->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  for (int c = 0; c < kTrackColumnCount; ++c) header->resizeSection(c, kColumnDigits[c] * digit + kColumnPadding);
  // The facts most users never sort by start hidden; the header's menu shows them.
  for (TrackColumn hidden : {TrackColumn::Bitrate, TrackColumn::Samplerate, TrackColumn::Stored})
    header->hideSection(static_cast<int>(hidden));
  help_context(View, 100);

  Message = named(new QLabel(View->viewport()), "TrackListMessage");
  Message->setAlignment(Qt::AlignCenter);
  Message->setWordWrap(true);
  Message->setForegroundRole(QPalette::PlaceholderText);
  Message->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(4);
  set_beside(true);
  layout->addWidget(Search);
  layout->addWidget(View, 1);
  setTabOrder(Search, View);

  connect(Search, &QLineEdit::textChanged, this, &TrackList::search_changed);
  connect(Search, &QLineEdit::returnPressed, this, &TrackList::play_from_search);
  Search->installEventFilter(this);
  View->installEventFilter(this);
  connect(View, &QTableView::clicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit current_requested(model_->record_at(index.row()));
  });
  // A double click plays, whatever the desktop's style says about activating items (Enter: the filter below).
  connect(View, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit play_requested(model_->record_at(index.row()));
  });
  connect(View, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    // The menu key asks too, wherever the pointer is: the selected rows are what the menu is for.
    if (View->indexAt(at).isValid() || View->selectionModel()->hasSelection())
      emit menu_requested(View->viewport()->mapToGlobal(at));
  });
  connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& at) {
    QMenu menu(this);
    for (int c = 0; c < kTrackColumnCount; ++c) {
      QAction* shown = menu.addAction(TrackListModel::column_title(static_cast<TrackColumn>(c)));
      shown->setCheckable(true);
      shown->setChecked(!header->isSectionHidden(c));
      // The last column shown stays.
      shown->setEnabled(header->isSectionHidden(c) || header->count() - header->hiddenSectionCount() > 1);
      connect(shown, &QAction::toggled, header, [header, c](bool on) { header->setSectionHidden(c, !on); });
    }
    menu.exec(header->mapToGlobal(at));
  });
  connect(header, &QHeaderView::sectionResized, this, [this](int, int before, int after) {
    if (fitting_) return;
    // Hiding or showing a column resizes it from or to nothing: that is no choice of width.
    if (before == 0 || after == 0) {
      fit_columns();
    } else {
      columns_sized_ = true;
    }
  });
  connect(header, &QHeaderView::sectionCountChanged, this, &TrackList::fit_columns);
  View->viewport()->installEventFilter(this);
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, &TrackList::remember_view);
  connect(model_, &QAbstractItemModel::modelReset, this, &TrackList::restore_view);
  connect(model_, &QAbstractItemModel::modelReset, this, &TrackList::show_message);
}

TrackList::~TrackList() = default;

QList<int> TrackList::selected_records() const {
  QList<int> records;
  const QModelIndexList rows = View->selectionModel()->selectedRows();
  for (const QModelIndex& row : rows) records << model_->record_at(row.row());
  std::sort(records.begin(), records.end(), [this](int a, int b) { return model_->row_of(a) < model_->row_of(b); });
  return records;
}

void TrackList::show_record(int record) {
  const int row = model_->row_of(record);
  if (row < 0) return;
  const QModelIndex index = model_->index(row, std::max(0, View->currentIndex().column()));
  QItemSelectionModel* selection = View->selectionModel();
  if (selection->selectedRows().size() > 1) {
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  } else {
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  View->scrollTo(index);
}

void TrackList::set_empty_text(const QString& text) {
  empty_text_ = text;
  show_message();
}

void TrackList::set_beside(bool beside) {
  constexpr int kMargin = 6;  // the panels' own
  layout()->setContentsMargins(beside ? 0 : kMargin, beside ? kMargin : 0, kMargin, kMargin);
}

void TrackList::focus_search() {
  Search->setFocus(Qt::ShortcutFocusReason);
  Search->selectAll();
}

void TrackList::search_changed(const QString& text) {
  model_->set_search(text);
}

void TrackList::play_from_search() {
  const QList<int> selected = selected_records();
  if (!selected.isEmpty()) {
    emit play_requested(selected.front());
  } else if (model_->rowCount() > 0) {
    emit play_requested(model_->record_at(0));
  }
}

void TrackList::show_message() {
  QString text;
  if (model_->rowCount() == 0) {
    text = model_->total() > 0 ? QStringLiteral("No track matches \u201C%1\u201D").arg(Search->text().trimmed())
                               : empty_text_;
  }
  Message->setText(text);
  Message->setVisible(!text.isEmpty());
  Message->setGeometry(View->viewport()->rect().adjusted(12, 12, -12, -12));
}

void TrackList::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  show_message();
}

void TrackList::remember_view() {
  const QModelIndex current = View->currentIndex();
  kept_current_ = current.isValid() ? model_->record_at(current.row()) : 0;
  kept_selection_ = selected_records();
  if (kept_selection_.size() > kRestoredSelection) kept_selection_.clear();
}

void TrackList::restore_view() {
  QItemSelectionModel* selection = View->selectionModel();
  QItemSelection rows;
  for (int record : kept_selection_) {
    const int row = model_->row_of(record);
    if (row >= 0) rows.select(model_->index(row, 0), model_->index(row, kTrackColumnCount - 1));
  }
  selection->select(rows, QItemSelectionModel::ClearAndSelect);
  const int row = model_->row_of(kept_current_);
  if (row >= 0) {
    selection->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
    View->scrollTo(model_->index(row, 0));
  }
}

void TrackList::set_columns_sized(bool sized) {
  columns_sized_ = sized;
  fit_columns();
}

void TrackList::fit_columns() {
  QHeaderView* header = View->horizontalHeader();
  if (columns_sized_ || header->count() != kTrackColumnCount) return;
  const int digit = View->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  int fixed = 0;
  int weights = 0;
  for (int c = 0; c < kTrackColumnCount; ++c) {
    if (header->isSectionHidden(c)) continue;
    if (kColumnFlexible[c]) {
      weights += kColumnDigits[c];
    } else {
      fixed += header->sectionSize(c);
    }
  }
  if (weights == 0) return;
  const int room = View->viewport()->width() - fixed;
  const QScopedValueRollback<bool> ours(fitting_, true);
  int given = 0;
  int last = -1;
  for (int c = 0; c < kTrackColumnCount; ++c) {
    if (header->isSectionHidden(c) || !kColumnFlexible[c]) continue;
    const int width = std::max(kColumnDigitsAtLeast * digit + kColumnPadding, room * kColumnDigits[c] / weights);
    header->resizeSection(c, width);
    given += width;
    last = c;
  }
  // What the division left over goes to the last text column, so the columns meet the list's right edge.
  if (last >= 0 && given < room) header->resizeSection(last, header->sectionSize(last) + room - given);
}

bool TrackList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == View->viewport() && event->type() == QEvent::Resize) fit_columns();
  if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (watched == Search) {
    if (key->key() == Qt::Key_Escape && !Search->text().isEmpty()) {
      Search->clear();
      return true;
    }
    if (key->key() == Qt::Key_Down && model_->rowCount() > 0) {
      View->setFocus(Qt::TabFocusReason);
      if (!View->currentIndex().isValid()) show_record(model_->record_at(0));
      return true;
    }
  } else if (watched == View && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    const QModelIndex current = View->currentIndex();
    if (current.isValid()) emit play_requested(model_->record_at(current.row()));
    return true;
  } else if (watched == View && key->key() == Qt::Key_Delete && View->selectionModel()->hasSelection()) {
    emit delete_requested();
    return true;
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace vemla
