// The window shown while a library is moved or copied.
#pragma once

#include <QDialog>

namespace vemla {

class TForm7 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm7(QWidget* parent = nullptr);
  ~TForm7() override;
};

}  // namespace vemla
