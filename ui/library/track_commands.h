// The "&Track" menu's work on tracks: add files ("Add to Base", or files and folders dropped on the main
// window), export a track's audio, fix every track's audio into the library, delete the current track and
// take the last deleted one back ("Undo Delete"), and show its facts ("MPEG Info"). Adding and fixing run as
// library work, with progress and Cancel.
#pragma once

#include <QObject>
#include <QStringList>
#include <filesystem>
#include <memory>

#include "user_dialogs.h"

namespace vemla {

class DeletedTrack;
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
  // "&Export" is enabled while the current track has audio to export: stored, or in its file.
  void update_export_item();
  // Where a deleted track's audio is kept until the library closes (the per-user runtime folder, by default).
  void set_undo_folder(const std::filesystem::path& folder) { undo_folder_ = folder; }

  // How the commands ask the user; tests answer in their place.
  UserDialogs& dialogs() { return dialogs_; }

 public slots:
  void Import1Click();
  void Export1Click();
  void fix1Click();
  void Delete2Click();
  // Takes the last deleted track back (until the library closes): it comes back as the last track.
  void UndoDelete1Click();
  void Info1Click();

 private:
  bool library_open() const;
  void import_ended(const ImportJob& job);
  void fix_ended(const FixJob& job, int record);
  void update_items();
  void update_export_item_soon();
  // The library closed: a deleted track can no longer be taken back.
  void forget_deleted_track();
  class TableWatch;

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
  std::unique_ptr<TableWatch> watch_;
  bool export_update_pending_ = false;
  std::unique_ptr<DeletedTrack> deleted_;
  std::filesystem::path undo_folder_;
};

}  // namespace vemla
