// The application shell around the main window: its first activation and its closing, the window's geometry,
// the hint switch, help, the About dialog and the maker's links, and the menu items that open the options,
// category-name and memo dialogs.
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class QSettings;

namespace vemla {

class HelpWindow;
class HintSwitch;
class LibraryCommands;
class PlayerControl;
class PlaylistControl;
class TForm1;
class TForm11;
class TForm2;
class TForm3;
class TForm9;
class Table;
class Tdb;
class TrackCommands;

// Where the window's geometry is kept (QSettings organisation and application), and the maker's addresses.
inline constexpr const char* kSettingsOrganisation = "Korvane";
inline constexpr const char* kSettingsApplication = "Vemla Version 1.25";
inline constexpr const char* kMakerPage = "https://www.example.com/";
inline constexpr const char* kMakerMail = "mailto:support@example.com";

class Shell : public QObject {
  Q_OBJECT
 public:
  // Connects and enables the menu items it carries, installs the hint switch and the help key, and watches
  // `form` for its first showing and its closing. Every reference must outlive the object.
  Shell(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, LibraryCommands& library,
        TrackCommands& tracks, TForm2& options, TForm3& categories, TForm11& about, TForm9& memo,
        QObject* parent = nullptr);
  ~Shell() override;

  // Opens the settings table unless it is open. A damaged or unreadable one is put aside and replaced by one
  // with the defaults, and the user is told; a settings table that cannot be opened at all is reported and
  // the program goes on without it (false). The first activation calls it; work that needs the settings
  // before (a library named on the command line) may call it first.
  bool open_settings_table();

  HintSwitch& hint_switch() { return *hints_; }
  // The help window, made at its first use.
  HelpWindow& help_window();
  // Shows the page of a help context.
  void show_help(int context);

 public slots:
  // The first time the main window is shown (before it appears): its geometry, the library controls off, the
  // settings table, the hints, "&Export", the category items and the player stopped. Later calls do nothing.
  void FormActivate();
  // The main window closes: its geometry kept (normal state only), playing stopped, the temporary file
  // deleted, pending edits posted and the tables closed. Never blocks the closing.
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

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void set_hints(bool on);
  bool stored_hints();
  void close_table(Table& table);
  // A message box shown once the event loop runs, so that it stands over the shown window.
  void report_later(const QString& text, bool error);

  TForm1& form_;
  Tdb& db_;
  PlayerControl& player_;
  PlaylistControl& playlist_;
  LibraryCommands& library_;
  TrackCommands& tracks_;
  TForm2& options_;
  TForm3& categories_;
  TForm11& about_;
  TForm9& memo_;
  HintSwitch* hints_;
  QPointer<HelpWindow> help_;
  std::unique_ptr<QSettings> registry_;  // open from the first activation until the window closes
  bool activated_ = false;
  bool closed_ = false;
};

}  // namespace vemla
