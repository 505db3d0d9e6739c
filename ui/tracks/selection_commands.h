// What the track list does to the rows selected in it (Shift and Ctrl select several): play the first, tick or
// untick a category, export the stored audio into a folder, store the audio of those kept on disk, delete.
// Their context menu offers them; each works on the records it is given.
#pragma once

#include <QList>
#include <QObject>

#include "user_dialogs.h"

class QMenu;
class QPoint;

namespace vemla {

class LibraryWork;
class PlayerControl;
class PlaylistControl;
class TForm1;
class Tdb;
class TrackListControl;

class SelectionCommands : public QObject {
  Q_OBJECT
 public:
  // Every reference must outlive the object.
  SelectionCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, LibraryWork& work,
                    TrackListControl& list, QObject* parent = nullptr);
  ~SelectionCommands() override;

  // The menu for the selected rows (null without a selection); the caller shows it.
  QMenu* make_menu(const QList<int>& records, QWidget* parent);

  // Ticks (or unticks) category k (0 ... 63) of every record; false, with the user told, when the library
  // cannot be written.
  bool set_category(const QList<int>& records, int k, bool ticked);
  // Writes the stored audio of the records into the folder, each under its file's name (numbered where a
  // name is taken); tracks without stored audio are passed over. Returns how many were written.
  int export_tracks(const QList<int>& records, const QString& folder);
  void export_asking(const QList<int>& records);
  // Stores the audio of the records kept on disk, as library work with progress.
  void fix_tracks(const QList<int>& records);
  // Deletes the records after the user said yes (at once when `ask` is false).
  bool delete_tracks(const QList<int>& records, bool ask = true);

  UserDialogs& dialogs() { return dialogs_; }

 private:
  // The track table's current row again, after work that walked the rows.
  void back_to(int record);

  TForm1& form_;
  Tdb& db_;
  PlayerControl& player_;
  PlaylistControl& playlist_;
  LibraryWork& work_;
  TrackListControl& list_;
  UserDialogs dialogs_;
  QString export_folder_;
};

}  // namespace vemla
