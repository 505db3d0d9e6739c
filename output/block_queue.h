// The blocks a sound device has been given and not yet finished with, in order, and the waits of the device's
// writer on them: what the devices that play blocks one after the other share. Its mutex guards the queue and
// whatever the device keeps beside it, so that one lock covers both: lock() takes it, and every other member
// expects the caller to hold it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "sound_device.h"

namespace vemla {

class BlockQueue {
 public:
  using Lock = std::unique_lock<std::mutex>;
  Lock lock() const { return Lock(mutex_); }

  void push(const WaveBlock& block);
  // Whether the block is queued; with null, whether any is.
  bool holds(const WaveBlock* block) const;
  bool empty() const { return blocks_.empty(); }
  const WaveBlock& front() const { return *blocks_.front(); }
  void pop_front();
  // Returns every block: none is queued any more.
  void clear();

  // Held by pause() until restart(); the queue keeps its blocks meanwhile.
  bool paused() const { return paused_; }
  void set_paused(bool paused);

  // Wakes whoever waits on the queue (something beside it changed).
  void notify() { changed_.notify_all(); }
  // Waits until busy() is false, the pause state changes or the timeout has passed; returns busy(). The
  // wait of SoundDevice::wait.
  template <typename Busy>
  bool wait_while(Lock& lock, std::chrono::milliseconds timeout, Busy busy) {
    const bool was_paused = paused_;
    changed_.wait_for(lock, timeout, [&] { return !busy() || paused_ != was_paused; });
    return busy();
  }
  // Waits for any change (or the timeout).
  void wait(Lock& lock) { changed_.wait(lock); }
  void wait(Lock& lock, std::chrono::milliseconds timeout) { changed_.wait_for(lock, timeout); }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<const WaveBlock*> blocks_;
  bool paused_ = false;
};

}  // namespace vemla
