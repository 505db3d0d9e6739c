#include "file_drops.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace vemla {

DroppedFiles dropped_files(const QMimeData* data) {
  DroppedFiles dropped;
  if (!data || !data->hasUrls()) return dropped;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (path.endsWith(QLatin1String(".mb"), Qt::CaseInsensitive)) {
      dropped.library = path;
      dropped.tracks.clear();
      return dropped;
    }
    dropped.tracks << path;
  }
  return dropped;
}

FileDropFilter::FileDropFilter(QWidget& window, Wants wants, Take take, QObject* parent)
    : QObject(parent), wants_(std::move(wants)), take_(std::move(take)) {
  window.setAcceptDrops(true);
  window.installEventFilter(this);
  for (QWidget* child : window.findChildren<QWidget*>()) {
    if (child->acceptDrops()) child->installEventFilter(this);
  }
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (!wants_(dropped_files(drag->mimeData()))) break;
      drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const DroppedFiles dropped = dropped_files(drop->mimeData());
      if (!wants_(dropped)) break;
      drop->acceptProposedAction();
      // After the drop has finished: taking it may ask the user things in a modal box.
      QTimer::singleShot(0, this, [this, dropped] { take_(dropped); });
      return true;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vemla
