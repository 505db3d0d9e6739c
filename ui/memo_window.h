// The "Memo" window: the memo of the current track, beside the main window.
#pragma once

#include <QDialog>

namespace vemla {

class Tdb;

class TForm9 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm9(Tdb& db, QWidget* parent = nullptr);
  ~TForm9() override;
};

}  // namespace vemla
