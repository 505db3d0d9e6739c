// The "&Database" menu: create, open, move, copy and delete a library, and the switch that enables the main
// window's controls which need an open library.
#pragma once

#include <QObject>
#include <QString>

namespace vemla {

class PlayerControl;
class PlaylistControl;
class TForm1;
class TForm5;
class TForm6;
class TForm7;
class Tdb;

class LibraryCommands : public QObject {
  Q_OBJECT
 public:
  // Connects the "&Database" menu's items of `form`. Every reference must outlive the object.
  LibraryCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, TForm5& new_dialog,
                  TForm6& move_dialog, TForm7& please, QObject* parent = nullptr);
  ~LibraryCommands() override;

  // Opens the library whose ".mb" file (or track table) is named, as "&Open" does after its dialog; false,
  // with the reason shown to the user, when it cannot be opened. For the command line and dropped files.
  bool open_library_file(const QString& path);
  // The ".mb" file of the open library, or empty when none is open.
  QString open_library_path() const;

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
};

}  // namespace vemla
