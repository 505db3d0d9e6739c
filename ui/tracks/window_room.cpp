#include "window_room.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <algorithm>

#include "cover_view.h"
#include "main_window.h"
#include "shell.h"
#include "track_list.h"

namespace vemla {

namespace {

// The least extra room in which the list shows: beside the panels, or below them.
constexpr int kListWidth = 280;
constexpr int kListHeight = 180;
// How much wider "View > Track List" makes a window that has no room for the list.
constexpr int kGrownWidth = 560;
constexpr int kGrownHeight = 320;

// Kept beside the window's geometry ("x", "y", "dx", "dy").
constexpr const char* kListKey = "TrackList";
constexpr const char* kMaximisedKey = "Maximized";
constexpr const char* kSideKey = "TrackSplitSide";
constexpr const char* kBelowKey = "TrackSplitBelow";
constexpr const char* kColumnsKey = "TrackColumns";
constexpr const char* kColumnsSizedKey = "TrackColumnsSized";

QSettings kept_settings() {
  return QSettings(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication));
}

}  // namespace

WindowRoom::WindowRoom(TForm1& form, QObject* parent) : QObject(parent), form_(form) {
  QSettings settings = kept_settings();
  wanted_ = settings.value(QLatin1String(kListKey), true).toBool();
  split_[0] = settings.value(QLatin1String(kSideKey)).toByteArray();
  split_[1] = settings.value(QLatin1String(kBelowKey)).toByteArray();
  QTableView* view = form_.TrackList1->View;
  const bool restored = view->horizontalHeader()->restoreState(settings.value(QLatin1String(kColumnsKey)).toByteArray());
  if (restored)
    view->sortByColumn(view->horizontalHeader()->sortIndicatorSection(), view->horizontalHeader()->sortIndicatorOrder());
  // Widths kept before the list fitted its columns were the user's.
  form_.TrackList1->set_columns_sized(settings.value(QLatin1String(kColumnsSizedKey), restored).toBool());
  form_.ViewTrackList->setEnabled(true);
  connect(form_.ViewTrackList, &QAction::triggered, this, &WindowRoom::ViewTrackListClick);
  // Ctrl+F: the search field, the list shown first where it is not.
  auto* find = new QAction(QStringLiteral("&Find Track"), &form_);
  find->setObjectName(QStringLiteral("FindTrack"));
  find->setShortcut(QKeySequence::Find);
  find->setStatusTip(QStringLiteral("Search the tracks by title, artist, album and memo"));
  form_.View1->addAction(find);
  form_.addAction(find);
  connect(find, &QAction::triggered, this, [this] {
    if (!list_shown()) ViewTrackListClick(true);
    if (list_shown()) form_.TrackList1->focus_search();
  });
  form_.installEventFilter(this);
  arrange();
}

WindowRoom::~WindowRoom() {
  form_.removeEventFilter(this);
}

bool WindowRoom::list_shown() const {
  return orientation_ != 0;
}

void WindowRoom::set_cover_available(bool available) {
  cover_available_ = available;
  arrange();
}

void WindowRoom::ViewTrackListClick(bool on) {
  wanted_ = on;
  if (!(form_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    const QSize smallest = form_.minimumSize();
    const QSize extra = form_.size() - smallest;
    if (on && extra.width() < kListWidth && extra.height() < kListHeight) {
      // Wider where the screen has room for it, else taller (the list below the panels).
      const QSize screen = form_.screen() ? form_.screen()->availableGeometry().size() : QSize();
      QSize grown(smallest.width() + kGrownWidth, form_.height());
      if (screen.isValid() && grown.width() > screen.width())
        grown = QSize(form_.width(), smallest.height() + kGrownHeight);
      if (screen.isValid()) grown = grown.boundedTo(screen).expandedTo(smallest);
      form_.resize(grown);
    } else if (!on) {
      form_.resize(smallest);
    }
  }
  arrange();
}

void WindowRoom::arrange() {
  const QSize smallest = form_.minimumSize();
  const QSize extra = form_.size() - smallest;
  const bool larger = extra.width() > 0 || extra.height() > 0;
  form_.View1->menuAction()->setVisible(larger);
  int wanted = 0;
  if (wanted_) {
    if (extra.width() >= kListWidth) {
      wanted = Qt::Horizontal;
    } else if (extra.height() >= kListHeight) {
      wanted = Qt::Vertical;
    }
  }
  QSplitter* splitter = form_.TrackSplitter;
  if (wanted != orientation_) {
    if (orientation_) split_[orientation_ - 1] = splitter->saveState();
    orientation_ = wanted;
    if (orientation_) {
      const auto orientation = static_cast<Qt::Orientation>(orientation_);
      splitter->setOrientation(orientation);
      form_.TrackList1->set_beside(orientation == Qt::Horizontal);
      form_.TrackList1->show();
      if (split_[orientation_ - 1].isEmpty() || !splitter->restoreState(split_[orientation_ - 1])) {
        // The panels at their size, the list in the rest.
        const int panels = orientation == Qt::Horizontal
                               ? smallest.width() - (form_.width() - splitter->width())
                               : smallest.height() - (form_.height() - splitter->height());
        const int whole = orientation == Qt::Horizontal ? splitter->width() : splitter->height();
        splitter->setSizes({panels, std::max(1, whole - panels - splitter->handleWidth())});
      }
      splitter->setOrientation(orientation);  // a state kept by an older layout may say otherwise
    } else {
      form_.TrackList1->hide();
    }
  }
  form_.CoverArt->setVisible(larger && cover_available_);
  const QSignalBlocker quiet(form_.ViewTrackList);
  form_.ViewTrackList->setChecked(list_shown());
}

void WindowRoom::restore_state() {
  if (kept_settings().value(QLatin1String(kMaximisedKey), false).toBool())
    form_.setWindowState(form_.windowState() | Qt::WindowMaximized);
}

void WindowRoom::save() {
  if (orientation_) split_[orientation_ - 1] = form_.TrackSplitter->saveState();
  QSettings settings = kept_settings();
  settings.setValue(QLatin1String(kListKey), wanted_);
  settings.setValue(QLatin1String(kMaximisedKey), form_.isMaximized());
  settings.setValue(QLatin1String(kSideKey), split_[0]);
  settings.setValue(QLatin1String(kBelowKey), split_[1]);
  settings.setValue(QLatin1String(kColumnsKey), form_.TrackList1->View->horizontalHeader()->saveState());
  settings.setValue(QLatin1String(kColumnsSizedKey), form_.TrackList1->columns_sized());
  settings.sync();
}

bool WindowRoom::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &form_) {
    switch (event->type()) {
      case QEvent::Resize:
        arrange();
        break;
      case QEvent::Show:
        if (!restored_) {
          restored_ = true;
          // After the shell has placed the window by its kept geometry.
          QMetaObject::invokeMethod(this, &WindowRoom::restore_state, Qt::QueuedConnection);
        }
        break;
      case QEvent::Close:
        save();
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vemla
