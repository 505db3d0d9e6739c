#include "library_job.h"

#include <exception>

namespace vemla {

bool LibraryJob::step() {
  if (ended_) return false;
  if (cancel_requested_) {
    cancelled_ = true;
    finish();
    return false;
  }
  try {
    if (!work(std::chrono::steady_clock::now() + budget_)) finish();
  } catch (const std::exception& error) {
    error_ = error.what();
    finish();
  } catch (...) {
    error_ = "Unknown error";
    finish();
  }
  return !ended_;
}

void LibraryJob::finish() noexcept {
  ended_ = true;
  end();
}

bool run_to_end(LibraryJob& job) {
  while (job.step()) {
  }
  return job.error().empty() && !job.cancelled();
}

}  // namespace vemla
