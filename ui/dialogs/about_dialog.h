// The "About" dialog: the program's picture, name and version, its maker, and the libraries it runs on.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vemla {

class TForm11 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm11(QWidget* parent = nullptr);
  ~TForm11() override;

  QLabel* ProgramIcon;
  QLabel* ProductName;  // "Vemla"
  QLabel* Version;      // set to "Version 1.25" each time the dialog is shown from the menu
  QLabel* Copyright;
  QLabel* Comments;     // the libraries and their versions
  QPushButton* OKButton;
};

}  // namespace vemla
