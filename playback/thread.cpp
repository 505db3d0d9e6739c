#include "thread.h"

namespace vemla {

void MP_THREAD::execute() {
  ThreadNotifierScope scope(messages_);
  const int result = decode_run(args_);
  if (returned_) returned_(result);
}

}  // namespace vemla
