#include "wav_device.h"

#include <bit>
#include <stdexcept>

#include "notifier.h"

namespace vemla {

static_assert(std::endian::native == std::endian::little,
              "blocks hold little-endian samples in memory order");

WavDevice::~WavDevice() {
  const auto lock = queue_.lock();
  if (file_) file_->finish();
}

bool WavDevice::open(const PcmFormat& format, std::string& reason) {
  const auto lock = queue_.lock();
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
  queue_.set_paused(false);
  queue_.clear();
  frame_bytes_ = std::max(1u, format.frame_bytes());
  written_since_reset_ = 0;
  return true;
}

bool WavDevice::is_open() const {
  const auto lock = queue_.lock();
  return file_ != nullptr;
}

void WavDevice::write_queue() {
  while (!queue_.empty()) {
    const WaveBlock& block = queue_.front();
    if (!file_->write(block.data, block.length / 2) && error_.empty()) error_ = write_failure();
    written_since_reset_ += block.length;
    queue_.pop_front();
  }
}

std::string WavDevice::write_failure() const {
  const std::string& reason = file_->error();
  return "cannot write " + path_ + (reason.empty() ? "" : ": " + reason);
}

void WavDevice::write(const WaveBlock& block) {
  const auto lock = queue_.lock();
  if (!file_) return;
  queue_.push(block);
  if (!queue_.paused()) write_queue();
}

bool WavDevice::still_playing(const WaveBlock& block) {
  const auto lock = queue_.lock();
  return queue_.holds(&block);
}

bool WavDevice::wait(const WaveBlock* block, std::chrono::milliseconds timeout) {
  auto lock = queue_.lock();
  return queue_.wait_while(lock, timeout, [&] { return queue_.holds(block); });
}

void WavDevice::pause() {
  const auto lock = queue_.lock();
  queue_.set_paused(true);
}

void WavDevice::restart() {
  const auto lock = queue_.lock();
  queue_.set_paused(false);
  if (file_) write_queue();
}

void WavDevice::reset() {
  const auto lock = queue_.lock();
  queue_.clear();
  written_since_reset_ = 0;
}

bool WavDevice::close() {
  const auto lock = queue_.lock();
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
  const auto lock = queue_.lock();
  return written_since_reset_ / frame_bytes_;
}

std::string WavDevice::last_error() const {
  const auto lock = queue_.lock();
  return error_;
}

}  // namespace vemla
