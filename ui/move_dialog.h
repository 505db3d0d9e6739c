// The dialog that picks a library and a destination folder for a move or a copy.
#pragma once

#include <QDialog>

namespace vemla {

class TForm6 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm6(QWidget* parent = nullptr);
  ~TForm6() override;
};

}  // namespace vemla
