// The "Add to Base" dialog: picks MPEG files in a folder, previews one through the player, and chooses the
// marked ones for the import (which the track commands run when the dialog has closed).
#pragma once

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <string>

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace vemla {

class DirectoryListBox;
class DriveComboBox;
class FileListBox;
class PlayerControl;
class Tdb;

class TForm8 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm8(Tdb& db, QWidget* parent = nullptr);
  ~TForm8() override;

  // The player control whose player previews and whose Stop ends playing; set once, before the dialog shows.
  void set_player_control(PlayerControl& player);

  // The files "Add" chose, in list order (full paths), or the listed folder when subfolders are included;
  // empty unless the dialog closed through "Add".
  const QStringList& chosen_files() const { return chosen_; }
  // Whether files the library holds already are passed over (unless the user asks to add them again).
  bool pass_known() const;
  bool previewing() const { return previewing_; }

  DriveComboBox* DriveComboBox1;
  DirectoryListBox* DirectoryListBox1;
  FileListBox* FileListBox1;
  QToolButton* SpeedButton1;  // "Add"
  QToolButton* SpeedButton2;  // "Play" / "Stop"
  QLabel* Label2;             // "TrackLength:"
  QLabel* Label1;             // the previewed file's length
  QCheckBox* Subfolders;      // "Include subfolders": Add takes the folder and every folder in it
  QCheckBox* AddAgain;        // add files already in the library again
  QPushButton* BitBtn1;       // Close

 public slots:
  void FormActivate();
  void FileListBox1Click();
  void DirectoryListBox1Click();
  void DriveComboBox1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void set_buttons(bool on);
  // Add works on marked files, or on the whole folder with its subfolders.
  void update_add();
  void stop_preview();
  // Back to "Play", the run left as it is.
  void end_preview();
  void watch_preview();

  Tdb& db_;
  PlayerControl* player_ = nullptr;
  bool previewing_ = false;
  std::string preview_file_;
  QStringList chosen_;
  QTimer preview_watch_;
  bool listed_ = false;
};

}  // namespace vemla
