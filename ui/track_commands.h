// The "&Track" menu's work on tracks: add files ("Add to Base"), export a stored track, fix every track's
// audio into the library, delete the current track, and show its facts ("MPEG Info").
#pragma once

#include <QObject>
#include <QStringList>

namespace vemla {

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
                TForm4& info, QObject* parent = nullptr);
  ~TrackCommands() override;

  // Adds files and folders (recursively) as "Add" does: for files dropped on the main window.
  void import_paths(const QStringList& paths);
  // "&Export" is enabled only while the settings say the audio is stored in the library.
  void update_export_item();

 public slots:
  void Import1Click();
  void Export1Click();
  void fix1Click();
  void Delete2Click();
  void Info1Click();
};

}  // namespace vemla
