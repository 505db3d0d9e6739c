// Long work on a library (an import of many files, fix, copy, move) done in bounded steps, so that a window
// can drive it from a timer on its own thread, show its progress, and cancel it between steps. Every step
// leaves the tables whole: what it wrote is committed before it returns.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vemla {

class LibraryJob {
 public:
  struct Progress {
    int64_t done = 0;
    int64_t total = 0;  // in the job's unit: files, tracks or bytes
  };

  virtual ~LibraryJob() = default;

  // Does about one budget's worth of work, and at least one item; false once the job has ended (finished,
  // cancelled, or stopped by an error, which error() then holds). Never throws. Thread: the one that owns the
  // tables the job works on.
  bool step();
  // The job ends at its next step, keeping what is done. Same thread as step.
  void cancel() { cancel_requested_ = true; }

  virtual Progress progress() const = 0;
  bool ended() const { return ended_; }
  bool cancelled() const { return cancelled_; }
  const std::string& error() const { return error_; }

  // How long one step works at most beyond its first item (40 ms unless changed; zero: one item a step).
  void set_budget(std::chrono::milliseconds budget) { budget_ = budget; }

 protected:
  using Deadline = std::chrono::steady_clock::time_point;
  // Works until the deadline has passed; false when nothing is left to do. An exception ends the job.
  virtual bool work(Deadline deadline) = 0;
  // Called once when the job ends, however it ends; releases what the job holds. Must not throw.
  virtual void end() noexcept {}

 private:
  void finish() noexcept;

  std::chrono::milliseconds budget_{40};
  bool cancel_requested_ = false;
  bool cancelled_ = false;
  bool ended_ = false;
  std::string error_;
};

// For a step that failed part way: keeps what the step did (keep_done commits it), then rethrows the step's
// error. When the error took the step's transaction with it, the commit fails as well; the first error, which
// says why (a full disk), is the one thrown. Call only inside a catch block.
template <typename KeepDone>
[[noreturn]] void keep_done_then_rethrow(KeepDone& keep_done) {
  try {
    keep_done();
  } catch (...) {
    // Nothing of the step was kept; the error being handled says why.
  }
  throw;
}

// Steps the job until it ends (for the command-line tool and tests); true when it finished without an error
// and was not cancelled.
bool run_to_end(LibraryJob& job);

}  // namespace vemla
