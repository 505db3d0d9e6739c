// The "MPEG Info" dialog: the technical facts of the current track.
#pragma once

#include <QDialog>

namespace vemla {

class Tdb;

class TForm4 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm4(Tdb& db, QWidget* parent = nullptr);
  ~TForm4() override;
};

}  // namespace vemla
