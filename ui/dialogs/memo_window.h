// The "Memo" window: the memo of the current track, beside the main window. It is data-aware, so it follows
// the main window's track changes while it stays open.
#pragma once

#include <QDialog>

class QFrame;
class QPushButton;

namespace vemla {

class DBMemo;
class Tdb;

class TForm9 : public QDialog {
  Q_OBJECT
 public:
  // The data module must outlive the window.
  explicit TForm9(Tdb& db, QWidget* parent = nullptr);
  ~TForm9() override;

  DBMemo* DBMemo1;      // MEMO of the track table; the tab key types a tab
  QFrame* Panel1;
  QPushButton* BitBtn1;  // Close

 public slots:
  // When the window closes, however it is closed: the memo typed is posted.
  void FormClose();

 protected:
  void done(int result) override;

 private:
  Tdb& db_;
};

}  // namespace vemla
