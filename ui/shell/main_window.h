// The main window: the track's title, artist and album, the time displays, the playing options and the
// position bar on the left; the playlist, the memo and the categories on the right; the transport buttons at
// the bottom; the status bar and the menu bar. Every control is a public member named as its form names it,
// and that name is its objectName.
#pragma once

#include <QMainWindow>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QSplitter;
class QStatusBar;
class QToolButton;

namespace vemla {

class CoverView;
class DBCheckBox;
class DBLineEdit;
class DBMemo;
class ElidingLabel;
class PicturePanel;
class Tdb;
class TrackList;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // The data-aware controls bind to the data module's sources; it must outlive the window.
  explicit TForm1(Tdb& data_module, QWidget* parent = nullptr);
  ~TForm1() override;

  // The size the window has at the default font: 632 x 387 or, where its text needs more, what it needs.
  static QSize default_size();

  // Left panel.
  PicturePanel* RzPanel2;
  QLabel* Label1;  // "Title:"
  QLabel* Label2;  // "Artist:"
  QLabel* Label3;  // "Album:"
  DBLineEdit* RzDBLineEdit1;  // TITLE
  DBLineEdit* RzDBLineEdit2;  // ARTIST
  DBLineEdit* RzDBLineEdit3;  // ALBUM
  QLabel* Label18;  // total time
  QLabel* Label17;  // elapsed time
  QCheckBox* CheckBox2;      // "Repeat Track", bound to no column
  DBCheckBox* DBCheckBox3;   // "Nonstop Play": settings CONTINUE
  DBCheckBox* DBCheckBox1;   // "Auto Skip": track SKIP
  DBCheckBox* DBCheckBox2;   // "Auto Play": settings AUTOPLAY
  QSlider* RzTrackBar1;      // position in frames
  CoverView* CoverArt;       // the current track's picture, in the room of a larger window

  // Right panel.
  QFrame* RzPanel6;
  QGroupBox* GroupBox1;  // "PlayList"
  ElidingLabel* RzLabel1;
  QToolButton* Reset;
  QToolButton* Shuffle;
  QToolButton* Arrange;
  QGroupBox* GroupBox2;  // "Memo"
  DBMemo* DBMemo1;       // MEMO
  QGroupBox* GroupBox3;  // "Categories"
  QLabel* Label4;        // "Define Category:"
  QListWidget* RzCheckList1;
  QLabel* Label5;  // "Select Category:"
  QComboBox* ComboBox1;

  // Bottom panel: Play, Pause and Stop in one exclusive group, Stop down at start.
  PicturePanel* RzPanel1;
  QToolButton* Play;
  QToolButton* Pause;
  QToolButton* Stop;
  QToolButton* Prior;
  QToolButton* Next;
  QButtonGroup* PlayerButtons;
  // The volume: a speaker button that mutes and unmutes (checked: muted), and the level 0 ... 100 (a position
  // on the volume curve); what they do is volume_control.h's.
  QToolButton* Mute;
  QSlider* volumeSlider;
  QPushButton* BitBtn1;  // exit

  // The track list, beside (or below) the panels in the room of a window larger than its default size.
  QSplitter* TrackSplitter;
  TrackList* TrackList1;

  // Status bar.
  QStatusBar* RzStatusBar1;
  QLabel* RzStatusPane1;  // player state
  QLabel* RzStatusPane2;  // "Found" or "Not Found"
  QProgressBar* RzProgressBar1;
  QLabel* RzStatusPane3;  // left untouched

  // Menu bar. Items whose features have not landed yet are present and disabled.
  QMenu* Database1;
  QAction* Open1;
  QAction* Move1;
  QAction* Copy1;
  QAction* Delete1;
  QAction* New1;
  QAction* Exit1;
  QMenu* MPEG1;  // "&Track"
  QAction* Import1;
  QAction* Export1;
  QAction* fix1;
  QMenu* Loudness1;  // "Analyse &Loudness"
  QAction* LoudnessTrack1;
  QAction* LoudnessAll1;
  QAction* Delete2;
  QAction* UndoDelete1;  // takes back the last deleted track
  QAction* Options1;
  QAction* Info1;
  QAction* Memo1;
  QAction* Category1;
  QMenu* View1;  // shown while the window is larger than its default size
  QAction* ViewTrackList;
  QMenu* Help1;
  QAction* ShowHint1;
  QAction* General1;
  QAction* QuickStart1;
  QMenu* About1;
  QAction* Vemla1;
  QAction* VisitKorvane1;
  QAction* SendemailtoKorvane1;

 public slots:
  void BitBtn1Click();
  void Exit1Click();

 private:
  void build_left_panel();
  void build_right_panel();
  void build_bottom_panel();
  void build_status_bar();
  void build_menu_bar();  // main_menu.cpp
  void set_tab_order();
  void connect_handlers();

  Tdb& db_;
};

}  // namespace vemla
