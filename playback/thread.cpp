#include "thread.h"

#include "decode_run.h"

namespace vemla {

void MP_THREAD::execute() {
  if (current_args) decode_run(*current_args);
}

}  // namespace vemla
