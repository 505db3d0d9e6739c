#include "null_device.h"

#include <algorithm>
#include <cmath>

namespace vemla {

bool NullDevice::open(const PcmFormat& format, std::string& reason) {
  std::lock_guard lock(mutex_);
  if (open_) {
    reason = "the null device is already open";
    return false;
  }
  if (format.channels == 0 || format.frequency == 0) {
    reason = "no channels or no sampling frequency";
    return false;
  }
  open_ = true;
  paused_ = false;
  format_ = format;
  queue_.clear();
  front_played_ = 0;
  credit_ = 0;
  bytes_since_reset_ = 0;
  last_ = Clock::now();
  ++opens_;
  return true;
}

bool NullDevice::is_open() const {
  std::lock_guard lock(mutex_);
  return open_;
}

void NullDevice::advance(Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - last_).count();
  last_ = now;
  if (!open_ || paused_ || queue_.empty()) {
    credit_ = 0;  // an idle or held device owes nothing
    return;
  }
  credit_ += seconds * format_.bytes_per_second() * speed_;
  while (!queue_.empty()) {
    const size_t left = queue_.front()->length - front_played_;
    if (credit_ < static_cast<double>(left)) {
      const auto whole = static_cast<size_t>(credit_);
      front_played_ += whole;
      bytes_played_ += whole;
      bytes_since_reset_ += whole;
      credit_ -= static_cast<double>(whole);
      break;
    }
    credit_ -= static_cast<double>(left);
    bytes_played_ += left;
    bytes_since_reset_ += left;
    queue_.pop_front();
    front_played_ = 0;
  }
  if (queue_.empty()) credit_ = 0;
  changed_.notify_all();
}

bool NullDevice::queued(const WaveBlock* block) const {
  if (!block) return !queue_.empty();
  return std::find(queue_.begin(), queue_.end(), block) != queue_.end();
}

void NullDevice::write(const WaveBlock& block) {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  advance(Clock::now());
  queue_.push_back(&block);
  changed_.notify_all();
}

bool NullDevice::still_playing(const WaveBlock& block) {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  return queued(&block);
}

bool NullDevice::wait(const WaveBlock* block, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const Clock::time_point deadline = Clock::now() + timeout;
  const bool was_paused = paused_;
  for (;;) {
    const Clock::time_point now = Clock::now();
    advance(now);
    if (!queued(block) || now >= deadline || paused_ != was_paused) break;
    // Sleep until the block would be finished at the present speed, or the deadline.
    Clock::time_point until = deadline;
    if (!paused_ && speed_ > 0) {
      double bytes = -credit_ - static_cast<double>(front_played_);
      for (const WaveBlock* queued_block : queue_) {
        bytes += static_cast<double>(queued_block->length);
        if (queued_block == block) break;
      }
      const double seconds = std::max(0.0, bytes) / (format_.bytes_per_second() * speed_);
      until = std::min(
          deadline, now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds) +
                                                                      std::chrono::microseconds(50)));
    }
    changed_.wait_until(lock, until);
  }
  return queued(block);
}

void NullDevice::pause() {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  paused_ = true;
  changed_.notify_all();
}

void NullDevice::restart() {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  paused_ = false;
  changed_.notify_all();
}

void NullDevice::reset() {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  queue_.clear();
  front_played_ = 0;
  credit_ = 0;
  bytes_since_reset_ = 0;
  changed_.notify_all();
}

bool NullDevice::close() {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  if (!queue_.empty()) return false;
  open_ = false;
  paused_ = false;
  changed_.notify_all();
  return true;
}

void NullDevice::set_speed(double speed) {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  speed_ = speed;
  changed_.notify_all();
}

uint64_t NullDevice::bytes_played() {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  return bytes_played_;
}

uint64_t NullDevice::played_frames() {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  return format_.frame_bytes() ? bytes_since_reset_ / format_.frame_bytes() : 0;
}

size_t NullDevice::queued_blocks() {
  std::lock_guard lock(mutex_);
  advance(Clock::now());
  return queue_.size();
}

bool NullDevice::paused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

PcmFormat NullDevice::format() const {
  std::lock_guard lock(mutex_);
  return format_;
}

unsigned NullDevice::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

}  // namespace vemla
