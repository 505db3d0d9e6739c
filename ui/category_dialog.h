// The "Categories" dialog: the 64 category names of the open library.
#pragma once

#include <QDialog>

namespace vemla {

class Tdb;

class TForm3 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm3(Tdb& db, QWidget* parent = nullptr);
  ~TForm3() override;
};

}  // namespace vemla
