// The "Add to Base" dialog: picks MPEG files in a folder, previews one, adds the marked ones.
#pragma once

#include <QDialog>

namespace vemla {

class Tdb;

class TForm8 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm8(Tdb& db, QWidget* parent = nullptr);
  ~TForm8() override;
};

}  // namespace vemla
