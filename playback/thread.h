// The decode thread: runs one decode run on its control record and ends.
#pragma once

#include <functional>

#include "decode_run.h"
#include "notifier.h"
#include "worker_thread.h"

namespace vemla {

class MP_THREAD : public WorkerThread {
 public:
  // Told on the thread itself what decode_run returned, after the run's last message.
  using Returned = std::function<void(int result)>;

  // The thread starts suspended. Messages raised on it go to `messages`, which must not show a window.
  MP_THREAD(MPEG_Args& args, Notifier& messages, Returned returned)
      : args_(args), messages_(messages), returned_(std::move(returned)) {}
  ~MP_THREAD() override { end(); }

 protected:
  // Runs decode_run on the record and tells the result.
  void execute() override;

 private:
  MPEG_Args& args_;
  Notifier& messages_;
  Returned returned_;
};

// The class a run instantiates.
class MP_INIT : public MP_THREAD {
 public:
  using MP_THREAD::MP_THREAD;
};

}  // namespace vemla
