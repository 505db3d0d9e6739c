// The "Please be PATIENT...." window: borderless, lime on blue, in the middle of the screen while a library
// is moved or copied, with the work's progress and a button that cancels it.
#pragma once

#include <QDialog>
#include <cstdint>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vemla {

class TForm7 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm7(QWidget* parent = nullptr);
  ~TForm7() override;

  // Shows the window over the program's other windows, which wait until it goes, with no progress yet.
  // `what` says what is being done (for screen readers; the window shows no title).
  void begin(const QString& what);
  // done of total units (bytes); nothing shown while total is 0.
  void set_progress(int64_t done, int64_t total);
  void end();

  QFrame* Panel1;  // the lowered frame
  QLabel* Label1;  // "Please be PATIENT...."
  QProgressBar* ProgressBar1;
  QPushButton* BitBtn1;  // Cancel

 signals:
  // The user asked to stop the work (Cancel, or the Escape key); the window stays until the work has ended.
  void cancel_requested();

 public slots:
  void reject() override;
};

}  // namespace vemla
