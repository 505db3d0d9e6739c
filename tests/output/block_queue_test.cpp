// The queue the ALSA and WAV devices keep their blocks in: a writer waiting on it wakes when its block is
// finished, when the device is paused or restarted, and otherwise when its time is up.
#include "block_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vemla {
namespace {

using namespace std::chrono_literals;

TEST(BlockQueue, AWaitingWriterWakesWhenItsBlockIsDoneOrThePauseChanges) {
  BlockQueue queue;
  WaveBlock first, second;
  {
    auto lock = queue.lock();
    queue.push(first);
    queue.push(second);
    EXPECT_TRUE(queue.holds(&second));
    EXPECT_TRUE(queue.holds(nullptr));
    EXPECT_EQ(&queue.front(), &first);
    // Nothing happens: the wait ends at its time with the block still queued.
    EXPECT_TRUE(queue.wait_while(lock, 1ms, [&] { return queue.holds(&first); }));
  }
  std::thread device([&] {
    auto lock = queue.lock();
    queue.pop_front();
  });
  {
    auto lock = queue.lock();
    EXPECT_FALSE(queue.wait_while(lock, 60s, [&] { return queue.holds(&first); }));
    EXPECT_TRUE(queue.holds(&second));
  }
  device.join();

  // Paused, the block stays queued and the writer must wake to see it; a writer that slept on would be woken
  // only by the block's removal after a while, and see it gone.
  std::atomic<bool> woke{false};
  std::thread pauser;
  {
    auto lock = queue.lock();
    // Started with the lock held, it pauses once the writer waits.
    pauser = std::thread([&] {
      {
        auto paused = queue.lock();
        queue.set_paused(true);
      }
      for (int i = 0; i < 10000 && !woke; ++i) std::this_thread::sleep_for(1ms);
      auto cleared = queue.lock();
      if (!woke) queue.clear();
    });
    EXPECT_TRUE(queue.wait_while(lock, 60s, [&] { return queue.holds(&second); }));
    EXPECT_TRUE(queue.paused());
    woke = true;
  }
  pauser.join();

  auto lock = queue.lock();
  queue.clear();
  EXPECT_FALSE(queue.holds(nullptr));
  EXPECT_FALSE(queue.wait_while(lock, 60s, [&] { return queue.holds(&second); }));
}

}  // namespace
}  // namespace vemla
