// A sound device for tests that goes away while playing, as a USB device does when it is unplugged: after a
// number of blocks, or when the test says so, it returns its queued blocks unplayed, reports failed() and
// takes nothing more until it is opened again; while it stays away it cannot be opened. Blocks finish at
// once when written, unless the test holds them.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "sound_device.h"

namespace vemla::test {

class FailingDevice final : public SoundDevice {
 public:
  explicit FailingDevice(std::string name = "test DAC") : name_(std::move(name)) {}

  // Fails at the write of block number `blocks` + 1 after each open; a negative number never.
  void fail_after(int blocks) {
    std::lock_guard lock(mutex_);
    fail_after_ = blocks;
  }
  // Written blocks stay queued until the device fails or is reset.
  void hold_blocks(bool hold) {
    std::lock_guard lock(mutex_);
    hold_ = hold;
  }
  // Goes away now (and stays away), or comes back for the next open.
  void unplug() {
    std::lock_guard lock(mutex_);
    away_ = true;
    if (open_) go_away();
  }
  void plug_in() {
    std::lock_guard lock(mutex_);
    away_ = false;
    fail_after_ = -1;
  }
  size_t queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }
  int writes_refused() const {
    std::lock_guard lock(mutex_);
    return refused_;
  }

  bool open(const PcmFormat& format, std::string& reason) override {
    std::lock_guard lock(mutex_);
    if (away_) {
      error_ = reason = name_ + " is not there";
      return false;
    }
    format_ = format;
    open_ = true;
    failed_ = false;
    written_ = 0;
    played_ = 0;
    error_.clear();
    return true;
  }
  bool is_open() const override {
    std::lock_guard lock(mutex_);
    return open_;
  }
  void write(const WaveBlock& block) override {
    std::lock_guard lock(mutex_);
    if (!open_ || failed_) {
      ++refused_;
      return;
    }
    if (fail_after_ >= 0 && written_ >= fail_after_) {
      away_ = true;
      go_away();
      return;
    }
    ++written_;
    if (hold_) {
      queue_.push_back(&block);
    } else {
      played_ += block.length / format_.frame_bytes();
    }
  }
  bool still_playing(const WaveBlock& block) override {
    std::lock_guard lock(mutex_);
    return std::find(queue_.begin(), queue_.end(), &block) != queue_.end();
  }
  bool wait(const WaveBlock* block, std::chrono::milliseconds timeout) override {
    std::unique_lock lock(mutex_);
    const auto queued = [&] {
      return block ? std::find(queue_.begin(), queue_.end(), block) != queue_.end() : !queue_.empty();
    };
    changed_.wait_for(lock, timeout, [&] { return !queued(); });
    return queued();
  }
  void pause() override {}
  void restart() override {}
  void reset() override {
    std::lock_guard lock(mutex_);
    queue_.clear();
    played_ = 0;
    changed_.notify_all();
  }
  bool close() override {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return false;
    open_ = false;
    return true;
  }
  std::string last_error() const override {
    std::lock_guard lock(mutex_);
    return error_;
  }
  bool failed() const override {
    std::lock_guard lock(mutex_);
    return failed_;
  }
  uint64_t played_frames() override {
    std::lock_guard lock(mutex_);
    return played_;
  }

 private:
  void go_away() {
    failed_ = true;
    error_ = name_ + " went away";
    queue_.clear();
    changed_.notify_all();
  }

  const std::string name_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  PcmFormat format_;
  std::deque<const WaveBlock*> queue_;
  int fail_after_ = -1;
  int written_ = 0;
  int refused_ = 0;
  bool hold_ = false;
  bool away_ = false;
  bool open_ = false;
  bool failed_ = false;
  uint64_t played_ = 0;
  std::string error_;
};

}  // namespace vemla::test
