#include "folder_lists.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QStandardPaths>
#include <QStorageInfo>

#include "look.h"

namespace vemla {

namespace {

bool holds(const QString& place, const QString& folder) {
  return folder == place ||
         folder.startsWith(place.endsWith(QLatin1Char('/')) ? place : place + QLatin1Char('/'));
}

}  // namespace

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent) {
  const auto add = [this](const QString& caption, const QString& folder, const QIcon& icon) {
    if (folder.isEmpty() || findData(folder) >= 0 || !QFileInfo(folder).isDir()) return;
    addItem(icon, caption, folder);
  };
  const QString home = QDir::homePath();
  add(QStringLiteral("Home (%1)").arg(QDir::toNativeSeparators(home)), home,
      theme_icon("user-home", QStyle::SP_DirHomeIcon));
  const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  add(QStringLiteral("Music (%1)").arg(QDir::toNativeSeparators(music)), music,
      theme_icon("folder-music", QStyle::SP_DirIcon));
  add(QStringLiteral("/ (Computer)"), QDir::rootPath(), theme_icon("drive-harddisk", QStyle::SP_DriveHDIcon));
  // Disks and removable media; the system's own mounts (proc, tmpfs, boot loaders, containers) are no places
  // for music.
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady() || volume.isRoot()) continue;
    if (!volume.device().startsWith("/dev/")) continue;
    const QString root = volume.rootPath();
    if (root.startsWith(QLatin1String("/boot")) || root.startsWith(QLatin1String("/snap")) ||
        root.startsWith(QLatin1String("/etc")) || root.startsWith(QLatin1String("/usr")) ||
        root.startsWith(QLatin1String("/var")))
      continue;
    const QString name =
        volume.displayName() == root ? root : volume.displayName() + QStringLiteral(" (") + root + ')';
    add(name, root,
        theme_icon(volume.isReadOnly() ? "media-optical" : "drive-removable-media", QStyle::SP_DriveHDIcon));
  }
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(12);
  connect(this, &QComboBox::activated, this,
          [this](int index) { emit place_chosen(itemData(index).toString()); });
}

QString DriveComboBox::place() const {
  return currentData().toString();
}

void DriveComboBox::show_place_of(const QString& folder) {
  int best = -1;
  qsizetype best_length = -1;
  for (int i = 0; i < count(); ++i) {
    const QString place = itemData(i).toString();
    if (holds(place, folder) && place.size() > best_length) {
      best = i;
      best_length = place.size();
    }
  }
  if (best >= 0) setCurrentIndex(best);
}

DirectoryListBox::DirectoryListBox(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  model_->setReadOnly(true);
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  setHeaderHidden(true);
  setSortingEnabled(true);
  sortByColumn(0, Qt::AscendingOrder);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { emit folder_chosen(folder()); });
  // The rows above the chosen folder arrive from the background listing after it was chosen.
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this] {
    if (scroll_pending_ && currentIndex().isValid())
      scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
  });
  connect(this, &QAbstractItemView::pressed, this, [this] { scroll_pending_ = false; });
}

void DirectoryListBox::set_folder(const QString& folder) {
  const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
  model_->setRootPath(path);
  const QModelIndex index = model_->index(path);
  if (!index.isValid()) return;
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) expand(parent);
  setCurrentIndex(index);
  expand(index);
  scroll_pending_ = true;
  scrollTo(index, QAbstractItemView::PositionAtCenter);
}

QString DirectoryListBox::folder() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? model_->filePath(current) : QString();
}

FileListBox::FileListBox(const QString& mask, bool multiple, QWidget* parent)
    : QListView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::Files);  // no hidden files, names matched in any letter case
  model_->setNameFilters(mask.split(QLatin1Char(';'), Qt::SkipEmptyParts));
  model_->setNameFilterDisables(false);
  model_->setReadOnly(true);
  setModel(model_);
  setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &FileListBox::marks_changed);
}

void FileListBox::set_folder(const QString& folder) {
  folder_ = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
  selectionModel()->clear();
  setRootIndex(model_->setRootPath(folder_));
}

QStringList FileListBox::names() const {
  QStringList result;
  const QModelIndex root = rootIndex();
  if (!root.isValid()) return result;
  for (int row = 0; row < model_->rowCount(root); ++row)
    result << model_->fileName(model_->index(row, 0, root));
  return result;
}

bool FileListBox::mark(const QString& name, bool keep_others) {
  const QModelIndex root = rootIndex();
  if (!root.isValid()) return false;
  for (int row = 0; row < model_->rowCount(root); ++row) {
    const QModelIndex index = model_->index(row, 0, root);
    if (model_->fileName(index) != name) continue;
    selectionModel()->setCurrentIndex(
        index, keep_others ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect);
    return true;
  }
  return false;
}

int FileListBox::marked_count() const {
  return static_cast<int>(marked_paths().size());
}

QStringList FileListBox::marked_paths() const {
  QStringList result;
  const QModelIndex root = rootIndex();
  if (!root.isValid()) return result;
  for (int row = 0; row < model_->rowCount(root); ++row) {
    const QModelIndex index = model_->index(row, 0, root);
    if (selectionModel()->isSelected(index)) result << model_->filePath(index);
  }
  return result;
}

QString FileListBox::file_name() const {
  const QModelIndex current = currentIndex();
  if (current.isValid() && current.parent() == rootIndex() && selectionModel()->isSelected(current))
    return model_->filePath(current);
  const QStringList marked = marked_paths();
  return marked.isEmpty() ? QString() : marked.constFirst();
}

}  // namespace vemla
