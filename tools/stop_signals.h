// How a command-line program ends when it is asked to. SIGINT, SIGTERM, SIGHUP and SIGQUIT are noted by a
// handler installed without SA_RESTART, so that a blocked open, read or write returns; the program's loops
// look at the note, complete what they write and end with 128 + the signal's number (130, 143, 129, 131). A
// terminal in key mode is put back by the handler itself, whatever the program is doing; a second signal ends
// the program on the spot. Signals ignored when the program started (nohup, a background job) stay ignored;
// signals blocked when it started are let through, since the program could not be stopped otherwise.
#pragma once

#include <termios.h>

namespace vemla {

class StopSignals {
 public:
  // Installs the handlers for the whole process and forgets any signal caught before.
  StopSignals();
  // Puts the earlier handlers back.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal that asked the program to stop, or 0. Any thread.
  static int caught();
  static bool stop_requested() { return caught() != 0; }
  // 128 + the caught signal's number, or `status` when none was caught.
  static int exit_status(int status);
};

// Standard input in single-key mode without echo while it lives (when it is a terminal); restored at the end
// and, through StopSignals, as soon as a stop signal arrives.
class KeyMode {
 public:
  KeyMode();
  ~KeyMode();
  KeyMode(const KeyMode&) = delete;
  KeyMode& operator=(const KeyMode&) = delete;

  bool active() const { return active_; }

 private:
  termios saved_{};
  bool active_ = false;
};

enum class Key { None, Pause, Back, Forward, Quit };

// Waits up to `ms` for a key on standard input: space, the left and right arrows, q.
Key read_key(int ms);

}  // namespace vemla
