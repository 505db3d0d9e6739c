// The "&Track" menu's work on tracks: add files ("Add to Base", or files and folders dropped on the main
// window), export a stored track, fix every track's audio into the library, delete the current track, and
// show its facts ("MPEG Info"). Adding and fixing run as library work, with progress and Cancel.
#pragma once

#include <QObject>
#include <QStringList>

#include "user_dialogs.h"

namespace vemla {

class FileDropFilter;
class ImportJob;
class FixJob;
class LibraryWork;
class PlayerControl;
class PlaylistControl;
class TForm1;
class TForm4;
class TForm8;
class Tdb;

class TrackCommands : public QObject {
  Q_OBJECT
 public:
  // Connects the "&Track" menu's items of `form` (but "&Options") and accepts files dropped on the window.
  // Every reference must outlive the object.
  TrackCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, TForm8& add,
                TForm4& info, LibraryWork& work, QObject* parent = nullptr);
  ~TrackCommands() override;

  // Adds files and folders (recursively) as "Add" does: for files dropped on the main window. Files the
  // library holds already are passed over unless `pass_known` is false.
  void import_paths(const QStringList& paths, bool pass_known = true);
  // "&Export" is enabled only while the settings say the audio is stored in the library.
  void update_export_item();

  // How the commands ask the user; tests answer in their place.
  UserDialogs& dialogs() { return dialogs_; }

 public slots:
  void Import1Click();
  void Export1Click();
  void fix1Click();
  void Delete2Click();
  void Info1Click();

 private:
  bool library_open() const;
  void import_ended(const ImportJob& job);
  void fix_ended(const FixJob& job, int record);
  void update_items();

  TForm1& form_;
  Tdb& db_;
  PlayerControl& player_;
  PlaylistControl& playlist_;
  TForm8& add_;
  TForm4& info_;
  LibraryWork& work_;
  UserDialogs dialogs_;
  FileDropFilter* drops_;
  QString export_folder_;
};

}  // namespace vemla
