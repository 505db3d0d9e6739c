// Files dropped on the main window: a library (its ".mb" file) to open, or track files and folders to add.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

namespace vemla {

struct DroppedFiles {
  QString library;     // the first ".mb" file dropped; the drop is about it alone when there is one
  QStringList tracks;  // else every local file and folder dropped
};

DroppedFiles dropped_files(const QMimeData* data);

// Takes the drops of one kind on a window, wherever in it they land: on the window and on every control in
// it that would take a drop itself (edits would paste a file's address). Drops of the other kind pass on.
class FileDropFilter : public QObject {
  Q_OBJECT
 public:
  using Wants = std::function<bool(const DroppedFiles&)>;
  using Take = std::function<void(const DroppedFiles&)>;
  FileDropFilter(QWidget& window, Wants wants, Take take, QObject* parent = nullptr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Wants wants_;
  Take take_;
};

}  // namespace vemla
