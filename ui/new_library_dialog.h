// The "New" dialog: the folder and base name of a library to create.
#pragma once

#include <QDialog>

namespace vemla {

class TForm5 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm5(QWidget* parent = nullptr);
  ~TForm5() override;
};

}  // namespace vemla
