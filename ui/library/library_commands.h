// The "&Database" menu: create, open, move, copy and delete a library, and the switch that enables the main
// window's controls which need an open library. A library's ".mb" file dropped on the main window opens it.
#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "library_files.h"
#include "user_dialogs.h"

namespace vemla {

class FileDropFilter;
class LibraryWork;
class PlayerControl;
class PlaylistControl;
class TForm1;
class TForm5;
class TForm6;
class TForm7;
class Tdb;
enum class CopyKind;

class LibraryCommands : public QObject {
  Q_OBJECT
 public:
  // Connects the "&Database" menu's items of `form`. Copy and move run as `work`, shown in `please`. Every
  // reference must outlive the object.
  LibraryCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, TForm5& new_dialog,
                  TForm6& move_dialog, TForm7& please, LibraryWork& work, QObject* parent = nullptr);
  ~LibraryCommands() override;

  // Opens the library whose ".mb" file (or track table) is named, as "&Open" does after its dialog; false,
  // with the reason shown to the user, when it cannot be opened. For the command line and dropped files.
  bool open_library_file(const QString& path);
  // The ".mb" file of the open library, or empty when none is open.
  QString open_library_path() const;

  // How the commands ask the user; tests answer in their place.
  UserDialogs& dialogs() { return dialogs_; }

 public slots:
  void New1Click();
  void Open1Click();
  void Move1Click();
  void Copy1Click();
  void Delete1Click();
  // Enables (true) or disables (false) every control and menu item that needs an open library.
  void set_library_controls(bool on);

 signals:
  // A library was opened, or the open one closed (moved, copied, deleted).
  void library_changed();

 private:
  // Opens the library in the data module; the window, the playlist and the settings follow it.
  bool open_library(const LibraryPath& library);
  // What an opened library's window shows: the position bar, category names, the playlist, the controls.
  void show_opened(const LibraryPath& library);
  // Move, copy and delete start here: the library closes, its pending changes posted.
  void close_for_work();
  void copy_or_move(CopyKind kind);
  void update_items();

  TForm1& form_;
  Tdb& db_;
  PlayerControl& player_;
  PlaylistControl& playlist_;
  TForm5& new_dialog_;
  TForm6& move_dialog_;
  TForm7& please_;
  LibraryWork& work_;
  UserDialogs dialogs_;
  FileDropFilter* drops_;
  std::optional<LibraryPath> open_;
  bool controls_on_ = false;
};

}  // namespace vemla
