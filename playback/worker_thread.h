// Our thread class: created suspended, resumed and suspended from outside, told to terminate, waited for, and
// given a priority. A thread cannot be stopped safely at an arbitrary instruction, so suspending takes effect
// at the thread's next safe point (safe_point()), which its work calls where holding is harmless.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "thread_priority.h"

namespace vemla {

class WorkerThread {
 public:
  // The operating-system thread starts at once but holds until the first resume().
  WorkerThread();
  // Ends the thread: terminate, release, wait. A subclass must call end() in its own destructor, since
  // execute() must not run while the subclass is being destroyed.
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  void resume();
  // The thread holds at its next safe point until resume() or terminate().
  void suspend();
  // Raises the terminate flag; execute() looks at it through terminated(). A held thread is released.
  void terminate();
  // Blocks until execute() has returned (or the thread ended without running it).
  void wait();

  bool suspended() const;
  bool terminated() const { return terminated_.load(std::memory_order_acquire); }
  // True while the thread holds at a safe point (or before its first resume).
  bool holding() const;
  bool finished() const;

  // Puts the priority on the thread as far as the user is allowed; never fails.
  PriorityApplied set_priority(ThreadPriority priority);
  ThreadPriority priority() const;
  // The kernel's id of the thread.
  pid_t os_id() const { return tid_; }

  // The WorkerThread whose execute() runs on the calling thread, or null.
  static WorkerThread* current();
  // Holds here while the thread is suspended and not terminated. Only the thread itself calls it.
  void safe_point();

 protected:
  virtual void execute() = 0;
  // Terminates, releases and waits for the thread; a thread never resumed does not run execute().
  void end();

 private:
  void main();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool suspended_ = true;
  bool resumed_once_ = false;
  bool abandoned_ = false;
  bool holding_ = true;
  bool finished_ = false;
  bool tid_known_ = false;
  std::atomic<bool> terminated_{false};
  ThreadPriority priority_ = ThreadPriority::Normal;
  pid_t tid_ = 0;
  std::thread thread_;
};

}  // namespace vemla
