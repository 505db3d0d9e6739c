// The "New" dialog: the folder and base name of a library to create.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vemla {

class DirectoryListBox;
class DriveComboBox;
class ElidingLabel;

class TForm5 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm5(QWidget* parent = nullptr);
  ~TForm5() override;

  // The folder chosen in the folder list.
  QString folder() const;
  // The base name typed, without blanks around it and without a ".mb" or ".db" the user may have added.
  QString base_name() const;

  QLabel* Label1;  // "Please choose a location and name for the new database:"
  DriveComboBox* DriveComboBox1;
  DirectoryListBox* DirectoryListBox1;
  ElidingLabel* Label2;  // the chosen folder
  QLabel* Label3;        // "Database Name:"
  QLineEdit* Edit1;
  QPushButton* BitBtn1;  // Cancel
  QPushButton* BitBtn2;  // OK

 public slots:
  void DriveComboBox1Click();
  void DirectoryListBox1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void update_ok();
  bool listed_ = false;
};

}  // namespace vemla
