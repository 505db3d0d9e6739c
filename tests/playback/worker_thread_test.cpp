// Our thread class (created suspended, resume, suspend at safe points, terminate, wait) and the mapping of
// the PRIORITY setting onto the operating system's thread priority.
#include "worker_thread.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <future>

namespace vemla::test {
namespace {

using namespace std::chrono_literals;

// Waits (never measured) until the condition holds or a generous limit passes.
template <typename F>
bool eventually(F condition) {
  for (int i = 0; i < 3000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

// Counts rounds of work, with a safe point in each, until terminated.
class Counter final : public WorkerThread {
 public:
  ~Counter() override { end(); }
  std::atomic<int> rounds{0};
  std::atomic<bool> ran{false};
  std::atomic<bool> saw_itself{false};

 protected:
  void execute() override {
    ran = true;
    saw_itself = WorkerThread::current() == this;
    while (!terminated()) {
      safe_point();
      ++rounds;
      std::this_thread::sleep_for(1ms);
    }
  }
};

int nice_of(pid_t tid) {
  return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

TEST(WorkerThread, RunsOnlyOnceResumedAndHoldsAtItsSafePointWhileSuspended) {
  Counter thread;
  EXPECT_TRUE(thread.suspended());
  EXPECT_TRUE(thread.holding());
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(thread.ran) << "a thread created suspended runs nothing";

  thread.resume();
  ASSERT_TRUE(eventually([&] { return thread.rounds > 3; }));
  EXPECT_TRUE(thread.saw_itself);
  EXPECT_EQ(WorkerThread::current(), nullptr) << "the test's own thread is no worker";

  thread.suspend();
  ASSERT_TRUE(eventually([&] { return thread.holding(); }));
  const int held_at = thread.rounds;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(thread.rounds, held_at) << "a suspended thread does no work";

  thread.resume();
  ASSERT_TRUE(eventually([&] { return thread.rounds > held_at + 3; }));
  thread.terminate();
  thread.wait();
  EXPECT_TRUE(thread.finished());
}

TEST(WorkerThread, TerminatingReleasesASuspendedThread) {
  auto ended = std::async(std::launch::async, [] {
    Counter thread;
    thread.resume();
    thread.suspend();
    while (!thread.holding()) std::this_thread::sleep_for(1ms);
    thread.terminate();
    thread.wait();
    return thread.finished();
  });
  ASSERT_EQ(ended.wait_for(30s), std::future_status::ready);
  EXPECT_TRUE(ended.get());
}

class Marker final : public WorkerThread {
 public:
  explicit Marker(std::atomic<bool>& ran) : ran_(ran) {}
  ~Marker() override { end(); }

 protected:
  void execute() override { ran_ = true; }

 private:
  std::atomic<bool>& ran_;
};

TEST(WorkerThread, ADestroyedThreadThatWasNeverResumedRunsNothing) {
  std::atomic<bool> ran{false};
  { Marker thread(ran); }
  EXPECT_FALSE(ran);
  {
    Marker thread(ran);
    thread.resume();
  }
  EXPECT_TRUE(ran) << "a resumed thread runs even when destroyed at once";
}

TEST(ThreadPriority, SettingsOneToSixMapOntoTheScaleAndAnythingElseIsNormal) {
  EXPECT_EQ(priority_from_setting(1), ThreadPriority::Lowest);
  EXPECT_EQ(priority_from_setting(2), ThreadPriority::BelowNormal);
  EXPECT_EQ(priority_from_setting(3), ThreadPriority::Normal);
  EXPECT_EQ(priority_from_setting(4), ThreadPriority::AboveNormal);
  EXPECT_EQ(priority_from_setting(5), ThreadPriority::Highest);
  EXPECT_EQ(priority_from_setting(6), ThreadPriority::TimeCritical);
  for (int other : {0, 7, -1, 100}) EXPECT_EQ(priority_from_setting(other), ThreadPriority::Normal) << other;
}

TEST(ThreadPriority, LowerAlwaysWorksHigherAsFarAsAllowedAndNormalRestoresOrdinaryScheduling) {
  Counter thread;
  const int base = nice_of(getpid());
  const PriorityApplied lowest = thread.set_priority(ThreadPriority::Lowest);
  EXPECT_TRUE(lowest.as_asked);
  EXPECT_EQ(nice_of(thread.os_id()), std::min(base + 10, 19));

  // Higher and time-critical priorities never fail and never end up below normal.
  const PriorityApplied highest = thread.set_priority(ThreadPriority::Highest);
  EXPECT_LE(highest.nice, base);
  const PriorityApplied critical = thread.set_priority(ThreadPriority::TimeCritical);
  EXPECT_LE(critical.nice, base);
  EXPECT_EQ(sched_getscheduler(thread.os_id()), critical.realtime ? SCHED_RR : SCHED_OTHER);
  EXPECT_EQ(sched_getscheduler(gettid()), SCHED_OTHER) << "the caller keeps its own scheduling";

  const PriorityApplied normal = thread.set_priority(ThreadPriority::Normal);
  EXPECT_TRUE(normal.as_asked);
  EXPECT_FALSE(normal.realtime);
  EXPECT_EQ(nice_of(thread.os_id()), base);
  EXPECT_EQ(sched_getscheduler(thread.os_id()), SCHED_OTHER);
}

}  // namespace
}  // namespace vemla::test
