#include "thread_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vemla {
namespace {

// Steps of nice per step of the scale: -2 .. +2 become +10 .. -10.
constexpr int kNicePerStep = 5;
// Round-robin priority of a time-critical thread: above ordinary real-time work, well below the kernel's.
constexpr int kRealtimePriority = 10;

int nice_of(pid_t tid) {
  errno = 0;
  const int value = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  return errno == 0 ? value : 0;
}

bool set_nice(pid_t tid, int value) {
  return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), value) == 0;
}

// The lowest nice value the user may set without privilege (RLIMIT_NICE holds 20 - nice).
int nice_floor() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -20;
  return 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
}

}  // namespace

ThreadPriority priority_from_setting(int priority) {
  switch (priority) {
    case 1:
      return ThreadPriority::Lowest;
    case 2:
      return ThreadPriority::BelowNormal;
    case 3:
      return ThreadPriority::Normal;
    case 4:
      return ThreadPriority::AboveNormal;
    case 5:
      return ThreadPriority::Highest;
    case 6:
      return ThreadPriority::TimeCritical;
    default:
      return ThreadPriority::Normal;
  }
}

PriorityApplied apply_thread_priority(pid_t tid, pthread_t handle, ThreadPriority priority) {
  PriorityApplied applied;
  // Back to ordinary scheduling first, so that a second call can also lower a time-critical thread.
  sched_param ordinary{};
  pthread_setschedparam(handle, SCHED_OTHER, &ordinary);

  // "Normal" is the nice value of the process, which the thread may have inherited changed.
  const int base = nice_of(getpid());
  bool ok = true;
  if (priority == ThreadPriority::TimeCritical) {
    sched_param realtime{};
    realtime.sched_priority =
        std::clamp(kRealtimePriority, sched_get_priority_min(SCHED_RR), sched_get_priority_max(SCHED_RR));
    applied.realtime = pthread_setschedparam(handle, SCHED_RR, &realtime) == 0;
    ok = applied.realtime;
  }
  const int step = priority == ThreadPriority::TimeCritical ? 2 : static_cast<int>(priority);
  const int wanted = std::clamp(base - step * kNicePerStep, -20, 19);
  if (!set_nice(tid, wanted)) {
    ok = false;
    // Not allowed that high: as high as the user may go, but never below normal.
    const int allowed = std::min(base, std::max(wanted, nice_floor()));
    if (!set_nice(tid, allowed)) set_nice(tid, base);
  }
  applied.nice = nice_of(tid);
  applied.as_asked = ok;
  return applied;
}

}  // namespace vemla
