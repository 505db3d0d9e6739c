#include "wav_device.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "notifier.h"

namespace vemla {

static_assert(std::endian::native == std::endian::little,
              "blocks hold little-endian samples in memory order");

WavDevice::~WavDevice() {
  std::lock_guard lock(mutex_);
  if (file_) file_->finish();
}

bool WavDevice::open(const PcmFormat& format, std::string& reason) {
  std::lock_guard lock(mutex_);
  if (file_) {
    reason = path_ + " is already open";
    return false;
  }
  try {
    file_ = std::make_unique<WavFile>(path_, format.channels, format.frequency, WavFile::Sample::Int16);
  } catch (const std::exception& e) {
    error_ = reason = e.what();
    return false;
  }
  error_.clear();
  paused_ = false;
  queue_.clear();
  frame_bytes_ = std::max(1u, format.frame_bytes());
  written_since_reset_ = 0;
  return true;
}

bool WavDevice::is_open() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

void WavDevice::write_queue() {
  while (!queue_.empty()) {
    const WaveBlock* block = queue_.front();
    if (!file_->write(block->data, block->length / 2) && error_.empty()) error_ = write_failure();
    written_since_reset_ += block->length;
    queue_.pop_front();
  }
  changed_.notify_all();
}

std::string WavDevice::write_failure() const {
  const std::string& reason = file_->error();
  return "cannot write " + path_ + (reason.empty() ? "" : ": " + reason);
}

bool WavDevice::queued(const WaveBlock* block) const {
  if (!block) return !queue_.empty();
  return std::find(queue_.begin(), queue_.end(), block) != queue_.end();
}

void WavDevice::write(const WaveBlock& block) {
  std::lock_guard lock(mutex_);
  if (!file_) return;
  queue_.push_back(&block);
  if (!paused_) write_queue();
}

bool WavDevice::still_playing(const WaveBlock& block) {
  std::lock_guard lock(mutex_);
  return queued(&block);
}

bool WavDevice::wait(const WaveBlock* block, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const bool was_paused = paused_;
  changed_.wait_for(lock, timeout, [&] { return !queued(block) || paused_ != was_paused; });
  return queued(block);
}

void WavDevice::pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
  changed_.notify_all();
}

void WavDevice::restart() {
  std::lock_guard lock(mutex_);
  paused_ = false;
  if (file_) write_queue();
}

void WavDevice::reset() {
  std::lock_guard lock(mutex_);
  queue_.clear();
  written_since_reset_ = 0;
  changed_.notify_all();
}

bool WavDevice::close() {
  std::lock_guard lock(mutex_);
  if (!queue_.empty()) return false;
  if (file_) {
    // Nothing else would tell the user that the file is incomplete.
    if (!file_->finish() && error_.empty()) error_ = write_failure();
    if (!error_.empty()) notifier().notify("Audio playback error", error_, MessageIcon::Error);
    file_.reset();
  }
  return true;
}

uint64_t WavDevice::played_frames() {
  std::lock_guard lock(mutex_);
  return written_since_reset_ / frame_bytes_;
}

std::string WavDevice::last_error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace vemla
