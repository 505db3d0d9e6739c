// The "About" dialog.
#pragma once

#include <QDialog>

namespace vemla {

class TForm11 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm11(QWidget* parent = nullptr);
  ~TForm11() override;
};

}  // namespace vemla
