// The dialog that picks a library (its ".mb" file) and a destination folder for a move or a copy.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vemla {

class DirectoryListBox;
class DriveComboBox;
class ElidingLabel;
class FileListBox;

class TForm6 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm6(QWidget* parent = nullptr);
  ~TForm6() override;

  // Before each use: the caption for a move or a copy, no library chosen, the destination and OK disabled.
  void prepare(bool move);
  // The chosen library's ".mb" file (full path), or empty.
  QString database() const { return database_; }
  // The destination folder, or empty.
  QString destination() const;

  QLabel* RzLabel1;      // "- First choose a database in the left window"
  QLabel* RzLabel2;      // "- Secondly choose a destination directory in de right window"
  QLabel* RzLabel5;      // "- After clicking OK, be patient, ..."
  QLabel* Label5;        // "Database:"
  ElidingLabel* Label6;  // the chosen library file
  QLabel* RzLabel3;      // "Source:"
  ElidingLabel* Label3;  // the source folder
  DriveComboBox* DriveComboBox1;
  DirectoryListBox* DirectoryListBox1;
  FileListBox* FileListBox1;
  QLabel* RzLabel4;      // "Destination"
  ElidingLabel* Label4;  // the destination folder
  DriveComboBox* DriveComboBox2;
  DirectoryListBox* DirectoryListBox2;
  QPushButton* BitBtn1;  // OK
  QPushButton* BitBtn2;  // Cancel

 public slots:
  void FileListBox1Click();
  void DirectoryListBox1Click();
  void DirectoryListBox2Click();
  void DriveComboBox1Click();
  void DriveComboBox2Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void set_destination_enabled(bool on);
  QString database_;
  bool listed_ = false;
  bool destination_on_ = false;
};

}  // namespace vemla
