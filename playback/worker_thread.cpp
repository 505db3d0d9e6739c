#include "worker_thread.h"

#include <unistd.h>

namespace vemla {
namespace {

thread_local WorkerThread* running = nullptr;

}  // namespace

WorkerThread::WorkerThread() {
  thread_ = std::thread(&WorkerThread::main, this);
  // The kernel id is needed for the priority, which may be set before the first resume.
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return tid_known_; });
}

WorkerThread::~WorkerThread() {
  end();
}

void WorkerThread::main() {
  running = this;
  std::unique_lock lock(mutex_);
  tid_ = gettid();
  tid_known_ = true;
  changed_.notify_all();
  changed_.wait(lock, [&] { return resumed_once_ || abandoned_; });
  holding_ = false;
  const bool run = resumed_once_;
  lock.unlock();
  if (run) execute();
  lock.lock();
  finished_ = true;
  changed_.notify_all();
}

void WorkerThread::end() {
  terminate();
  {
    std::lock_guard lock(mutex_);
    if (!resumed_once_) abandoned_ = true;
    changed_.notify_all();
  }
  wait();
}

void WorkerThread::resume() {
  std::lock_guard lock(mutex_);
  suspended_ = false;
  resumed_once_ = true;
  changed_.notify_all();
}

void WorkerThread::suspend() {
  std::lock_guard lock(mutex_);
  suspended_ = true;
}

void WorkerThread::terminate() {
  std::lock_guard lock(mutex_);
  terminated_.store(true, std::memory_order_release);
  changed_.notify_all();
}

void WorkerThread::wait() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool WorkerThread::suspended() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

bool WorkerThread::holding() const {
  std::lock_guard lock(mutex_);
  return holding_;
}

bool WorkerThread::finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

PriorityApplied WorkerThread::set_priority(ThreadPriority priority) {
  std::lock_guard lock(mutex_);
  priority_ = priority;
  if (finished_) return {};
  return apply_thread_priority(tid_, thread_.native_handle(), priority);
}

ThreadPriority WorkerThread::priority() const {
  std::lock_guard lock(mutex_);
  return priority_;
}

WorkerThread* WorkerThread::current() {
  return running;
}

void WorkerThread::safe_point() {
  std::unique_lock lock(mutex_);
  if (!suspended_ || terminated()) return;
  holding_ = true;
  changed_.notify_all();
  changed_.wait(lock, [&] { return !suspended_ || terminated(); });
  holding_ = false;
}

}  // namespace vemla
