#include "library_work.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>
#include <algorithm>

#include "look.h"
#include "main_window.h"
#include "please_window.h"

namespace vemla {

LibraryWork::LibraryWork(TForm1& form, QObject* parent) : QObject(parent), form_(form) {
  // A step works about 40 ms; the events that wait between steps keep the windows alive.
  timer_.setInterval(0);
  connect(&timer_, &QTimer::timeout, this, &LibraryWork::step);

  cancel_ = named(new QToolButton(form.RzStatusBar1), "CancelWork");
  cancel_->setText(QStringLiteral("Cancel"));
  cancel_->setIcon(theme_icon("process-stop", QStyle::SP_DialogCancelButton));
  cancel_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  cancel_->setAutoRaise(true);
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  hint(cancel_, QStringLiteral("Stop the work; what is done is kept"));
  cancel_->setMaximumHeight(form.RzProgressBar1->maximumHeight() + 8);
  cancel_->hide();
  form.RzStatusBar1->addPermanentWidget(cancel_);
  connect(cancel_, &QToolButton::clicked, this, &LibraryWork::cancel);
  form.installEventFilter(this);
}

LibraryWork::~LibraryWork() {
  abandon();
}

bool LibraryWork::start(std::unique_ptr<LibraryJob> job, const QString& what, TForm7* please, Calls calls) {
  if (job_ || !job) return false;
  job_ = std::move(job);
  what_ = what;
  please_ = please;
  calls_ = std::move(calls);
  if (please_) {
    connect(please_, &TForm7::cancel_requested, this, &LibraryWork::cancel, Qt::UniqueConnection);
    please_->begin(what_);
  } else {
    cancel_->setEnabled(true);
    cancel_->show();
  }
  show_progress();
  timer_.start();
  emit running_changed(true);
  return true;
}

void LibraryWork::cancel() {
  if (!job_) return;
  job_->cancel();
  cancel_->setEnabled(false);
  form_.RzStatusBar1->showMessage(what_ + QStringLiteral(": stopping..."));
}

void LibraryWork::abandon() {
  if (!job_) return;
  job_->cancel();
  job_->step();
  timer_.stop();
  hide_progress();
  calls_ = {};
  job_.reset();
  emit running_changed(false);
}

void LibraryWork::step() {
  if (!job_) {
    timer_.stop();
    return;
  }
  const bool more = job_->step();
  if (calls_.stepped) calls_.stepped();
  if (more) {
    show_progress();
    return;
  }
  timer_.stop();
  hide_progress();
  // The job lives until its owner has been told how it ended.
  const std::unique_ptr<LibraryJob> ended = std::move(job_);
  const Calls calls = std::move(calls_);
  calls_ = {};
  emit running_changed(false);
  if (calls.ended) calls.ended();
}

void LibraryWork::show_progress() {
  const LibraryJob::Progress progress = job_->progress();
  if (please_) {
    please_->set_progress(progress.done, progress.total);
    return;
  }
  QProgressBar* bar = form_.RzProgressBar1;
  bar->setRange(0, 1000);
  bar->setValue(progress.total > 0
                    ? static_cast<int>(std::min(progress.done, progress.total) * 1000 / progress.total)
                    : 0);
  if (!job_->ended() && cancel_->isEnabled()) {
    form_.RzStatusBar1->showMessage(
        QStringLiteral("%1: %2 of %3")
            .arg(what_, QString::number(progress.done), QString::number(progress.total)));
  }
}

void LibraryWork::hide_progress() {
  if (please_) {
    please_->end();
    please_ = nullptr;
    return;
  }
  cancel_->hide();
  form_.RzProgressBar1->setValue(0);
  form_.RzStatusBar1->clearMessage();
}

bool LibraryWork::eventFilter(QObject* watched, QEvent* event) {
  // Work that outlived the window would write into tables being closed; what it has done is kept.
  if (watched == &form_ && event->type() == QEvent::Close) abandon();
  return QObject::eventFilter(watched, event);
}

}  // namespace vemla
