// A sound device for tests that records what it is asked to do. Blocks finish at once when written (unless
// the device is paused), or only when the test says so; it can also refuse to open or ignore resets, like a
// device that has stopped responding.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "sound_device.h"

namespace vemla::test {

class RecordingDevice final : public SoundDevice {
 public:
  // Settings of the test.
  bool instant = true;        // written blocks finish at once (while not paused)
  bool fail_open = false;     // open() fails
  bool ignore_reset = false;  // reset() returns nothing and close() never succeeds

  bool open(const PcmFormat& format, std::string& reason) override {
    std::lock_guard lock(mutex_);
    log_.push_back("open");
    if (fail_open) {
      reason = "refused by the test";
      return false;
    }
    format_ = format;
    open_ = true;
    paused_ = false;
    played_bytes_ = 0;
    return true;
  }
  bool is_open() const override {
    std::lock_guard lock(mutex_);
    return open_;
  }
  void write(const WaveBlock& block) override {
    std::lock_guard lock(mutex_);
    log_.push_back("write");
    written_.emplace_back(block.data, block.data + block.length);
    sources_.push_back(&block);
    queue_.push_back(&block);
    if (instant && !paused_) finish_all();
    changed_.notify_all();
  }
  bool still_playing(const WaveBlock& block) override {
    std::lock_guard lock(mutex_);
    return std::find(queue_.begin(), queue_.end(), &block) != queue_.end();
  }
  bool wait(const WaveBlock* block, std::chrono::milliseconds timeout) override {
    std::unique_lock lock(mutex_);
    log_.push_back("wait");
    if (block) waited_on_.push_back(written_index(block));
    const auto queued = [&] {
      return block ? std::find(queue_.begin(), queue_.end(), block) != queue_.end() : !queue_.empty();
    };
    changed_.wait_for(lock, timeout, [&] { return !queued(); });
    return queued();
  }
  void pause() override {
    std::lock_guard lock(mutex_);
    log_.push_back("pause");
    paused_ = true;
  }
  void restart() override {
    std::lock_guard lock(mutex_);
    log_.push_back("restart");
    paused_ = false;
    if (instant) finish_all();
    changed_.notify_all();
  }
  void reset() override {
    std::lock_guard lock(mutex_);
    log_.push_back("reset");
    if (ignore_reset) return;
    queue_.clear();
    played_bytes_ = 0;
    changed_.notify_all();
  }
  bool close() override {
    std::lock_guard lock(mutex_);
    log_.push_back("close");
    if (ignore_reset || !queue_.empty()) return false;
    open_ = false;
    return true;
  }
  std::string last_error() const override { return {}; }
  uint64_t played_frames() override {
    std::lock_guard lock(mutex_);
    return format_.frame_bytes() ? played_bytes_ / format_.frame_bytes() : 0;
  }

  // The test's controls and views.
  void finish_oldest() {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) {
      played_bytes_ += queue_.front()->length;
      queue_.pop_front();
    }
    changed_.notify_all();
  }
  size_t queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }
  std::vector<std::vector<uint8_t>> written() const {
    std::lock_guard lock(mutex_);
    return written_;
  }
  std::vector<std::string> log() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  // For each wait on a block: the index (in written()) of the latest write of that block.
  std::vector<int> waited_on() const {
    std::lock_guard lock(mutex_);
    return waited_on_;
  }
  PcmFormat format() const {
    std::lock_guard lock(mutex_);
    return format_;
  }

 private:
  void finish_all() {
    for (const WaveBlock* block : queue_) played_bytes_ += block->length;
    queue_.clear();
  }
  int written_index(const WaveBlock* block) const {
    for (int i = static_cast<int>(sources_.size()) - 1; i >= 0; --i)
      if (sources_[i] == block) return i;
    return -1;
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  bool paused_ = false;
  PcmFormat format_;
  std::deque<const WaveBlock*> queue_;
  std::vector<std::vector<uint8_t>> written_;
  std::vector<const WaveBlock*> sources_;
  std::vector<std::string> log_;
  std::vector<int> waited_on_;
  uint64_t played_bytes_ = 0;  // of finished blocks since the last open or reset
};

}  // namespace vemla::test
