// The application shell around the main window: its first activation and its closing, the window's geometry,
// the hint switch, help, the About dialog and the maker's links, and the menu items that open the options,
// category-name and memo dialogs.
#pragma once

#include <QObject>

namespace vemla {

class LibraryCommands;
class PlayerControl;
class PlaylistControl;
class TForm1;
class TForm11;
class TForm2;
class TForm3;
class TForm9;
class Tdb;
class TrackCommands;

class Shell : public QObject {
  Q_OBJECT
 public:
  // Connects the menu items it carries and watches `form` for its first activation and its closing. Every
  // reference must outlive the object.
  Shell(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, LibraryCommands& library,
        TrackCommands& tracks, TForm2& options, TForm3& categories, TForm11& about, TForm9& memo,
        QObject* parent = nullptr);
  ~Shell() override;

 public slots:
  void FormActivate();
  void FormClose();
  void ShowHint1Click();
  void General1Click();
  void QuickStart1Click();
  void Vemla1Click();
  void VisitKorvane1Click();
  void SendemailtoKorvane1Click();
  void Options1Click();
  void Memo1Click();
  void Category1Click();
};

}  // namespace vemla
