// The drive, folder and file lists of the library dialogs: a list of this computer's places, a tree of its
// folders, and the files of one folder that match a mask. The folder tree and the file list are filled by
// the file-system model in the background and follow changes on disk.
#pragma once

#include <QComboBox>
#include <QListView>
#include <QStringList>
#include <QTreeView>

class QFileSystemModel;

namespace vemla {

// The places: the home folder, the music folder, the root folder and the mounted volumes (removable media,
// other disks). Choosing one emits place_chosen with its folder.
class DriveComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit DriveComboBox(QWidget* parent = nullptr);
  // The chosen place's folder.
  QString place() const;
  // Shows the place that holds the folder (the one with the longest path), without emitting place_chosen.
  void show_place_of(const QString& folder);

 signals:
  void place_chosen(const QString& folder);
};

// The folders, as a tree from the root folder; the current item is the chosen folder. Emits folder_chosen
// whenever another folder becomes the chosen one.
class DirectoryListBox : public QTreeView {
  Q_OBJECT
 public:
  explicit DirectoryListBox(QWidget* parent = nullptr);
  // Chooses the folder and shows it with its subfolders.
  void set_folder(const QString& folder);
  // The chosen folder; empty before one is chosen.
  QString folder() const;

 signals:
  void folder_chosen(const QString& folder);

 private:
  QFileSystemModel* model_;
  bool scroll_pending_ = false;
};

// The files of one folder whose names match the mask, in any letter case ("*.mp3;*.mp2"), sorted by name.
// Several entries can be marked when `multiple` is true. Emits marks_changed when the marks change.
class FileListBox : public QListView {
  Q_OBJECT
 public:
  FileListBox(const QString& mask, bool multiple, QWidget* parent = nullptr);
  void set_folder(const QString& folder);
  QString folder() const { return folder_; }

  // The entries' names, in list order (as far as the background listing has got).
  QStringList names() const;
  // Marks the entry of that name, keeping the other marks or not; false when it is not listed.
  bool mark(const QString& name, bool keep_others = false);
  int marked_count() const;
  // The marked entries' full paths, in list order.
  QStringList marked_paths() const;
  // The focused entry's full path when it is marked, else the first marked entry's; empty without a mark.
  QString file_name() const;

 signals:
  void marks_changed();

 private:
  QFileSystemModel* model_;
  QString folder_;
};

}  // namespace vemla
