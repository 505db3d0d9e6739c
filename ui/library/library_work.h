// Long work on a library (import, fix, copy, move) run on the user-interface thread in short steps from a
// timer, so that the windows never freeze: its progress in the status bar with a Cancel button, or in the
// "Please be PATIENT...." window. One job at a time for the whole program.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "library_job.h"

class QToolButton;

namespace vemla {

class TForm1;
class TForm7;

class LibraryWork : public QObject {
  Q_OBJECT
 public:
  // Shows progress in the status bar of `form`, and abandons a job when `form` closes. The form must outlive
  // the object.
  explicit LibraryWork(TForm1& form, QObject* parent = nullptr);
  ~LibraryWork() override;

  // `stepped` runs after every step; `ended` once, when the job has ended however it ended (the job is
  // still there to be asked what it did).
  struct Calls {
    std::function<void()> stepped;
    std::function<void()> ended;
  };
  // Starts stepping the job: `what` and the progress go to the status bar, or into `please` when given.
  // False, with nothing started, while another job runs.
  bool start(std::unique_ptr<LibraryJob> job, const QString& what, TForm7* please, Calls calls);
  bool running() const { return job_ != nullptr; }
  // The job ends at its next step, keeping what is done.
  void cancel();
  // Ends the job at once without its `ended` call: the window is closing or its owner going.
  void abandon();

  QToolButton* cancel_button() const { return cancel_; }

 signals:
  void running_changed(bool running);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void step();
  void show_progress();
  void hide_progress();

  TForm1& form_;
  QTimer timer_;
  QToolButton* cancel_;
  std::unique_ptr<LibraryJob> job_;
  QString what_;
  TForm7* please_ = nullptr;
  Calls calls_;
};

}  // namespace vemla
