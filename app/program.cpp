#include "program.h"

#include "sound_device.h"
#include "store.h"

namespace vemla {

Program::Program(std::unique_ptr<SoundDevice> device)
    : player(player_settings, title, messages, std::move(device)) {
  // A library another program holds (vemla-library at work) is waited for only briefly: the window's thread
  // waits with it, frozen. The command-line tool keeps the longer wait.
  set_lock_wait(kWindowLockWait);
  // Messages raised on this thread outside a run (a header the decoder refuses) go to the same boxes.
  set_notifier(&messages);
}

Program::~Program() {
  set_notifier(nullptr);
}

}  // namespace vemla
