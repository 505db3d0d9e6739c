// Thread priorities of the player setting PRIORITY (1 Lowest ... 6 Time Critical) and how they are put on a
// Linux thread: as a nice value relative to the process's own, and Time Critical as real-time round-robin
// scheduling, each only as far as the user is allowed.
#pragma once

#include <pthread.h>
#include <sys/types.h>

namespace vemla {

// The scheduler's scale of the settings, in the values of the thread classes the setting was made for.
enum class ThreadPriority : int {
  Lowest = -2,
  BelowNormal = -1,
  Normal = 0,
  AboveNormal = 1,
  Highest = 2,
  TimeCritical = 15,
};

// PRIORITY 1..6 of the settings; any other value leaves the thread at normal priority.
ThreadPriority priority_from_setting(int priority);

// What a thread got.
struct PriorityApplied {
  int nice = 0;           // the thread's nice value afterwards
  bool realtime = false;  // real-time round-robin scheduling
  bool as_asked = false;  // everything asked for was allowed
};

// Puts `priority` on the thread with kernel id `tid` and handle `handle`. A higher priority than the user may
// have is lowered to what is allowed (down to normal); nothing here fails.
PriorityApplied apply_thread_priority(pid_t tid, pthread_t handle, ThreadPriority priority);

}  // namespace vemla
