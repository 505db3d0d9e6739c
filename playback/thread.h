// The decode thread: runs one decode run on the current control record and ends.
#pragma once

#include "worker_thread.h"

namespace vemla {

class MP_THREAD : public WorkerThread {
 public:
  ~MP_THREAD() override { end(); }

 protected:
  // Runs decode_run on the current control record; its result is not used.
  void execute() override;
};

// The class a run instantiates.
class MP_INIT : public MP_THREAD {};

}  // namespace vemla
