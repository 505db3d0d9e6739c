#include "alsa_device.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace vemla {

static_assert(std::endian::native == std::endian::little, "blocks hold S16_LE samples in memory order");

namespace {

std::string alsa_text(int error) {
  return snd_strerror(error);
}

// alsa-lib prints its own diagnostics on standard error; the device reports its failures itself.
extern "C" void quiet(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

AlsaDevice::~AlsaDevice() {
  reset();
  close();
}

bool AlsaDevice::open(const PcmFormat& format, std::string& reason) {
  const auto lock = queue_.lock();
  if (pcm_) {
    reason = "ALSA PCM \"" + name_ + "\" is already open";
    return false;
  }
  static std::once_flag quieted;
  std::call_once(quieted, [] { snd_lib_error_set_handler(quiet); });
  snd_pcm_t* pcm = nullptr;
  int error = snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (error < 0) {
    error_ = reason = "ALSA PCM \"" + name_ + "\" cannot be opened: " + alsa_text(error);
    return false;
  }
  // Resampling allowed, so that a device that lacks the stream's rate still plays it.
  error = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                             format.frequency, 1, options_.latency_us);
  snd_pcm_uframes_t buffer = 0, period = 0;
  if (error >= 0) error = snd_pcm_get_params(pcm, &buffer, &period);
  if (error < 0) {
    snd_pcm_close(pcm);
    error_ = reason = "ALSA PCM \"" + name_ + "\" cannot play " + std::to_string(format.frequency) + " Hz, " +
                      std::to_string(format.channels) + "-channel 16-bit PCM: " + alsa_text(error);
    return false;
  }
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  can_pause_ = snd_pcm_hw_params_current(pcm, hw) >= 0 && snd_pcm_hw_params_can_pause(hw) == 1;

  pcm_ = pcm;
  format_ = format;
  buffer_frames_ = buffer;
  period_frames_ = period;
  failed_ = false;
  recoveries_ = 0;
  history_.assign(buffer * format.frame_bytes(), 0);
  replay_.assign(history_.size(), 0);
  history_end_ = history_filled_ = replay_left_ = 0;
  quit_ = writing_ = sounding_ = false;
  queue_.set_paused(false);
  queue_.clear();
  front_written_ = 0;
  given_ = unplayed_ = 0;
  error_.clear();
  worker_ = std::thread(&AlsaDevice::run, this);
  return true;
}

bool AlsaDevice::is_open() const {
  const auto lock = queue_.lock();
  return pcm_ != nullptr;
}

bool AlsaDevice::busy(const WaveBlock* block) const {
  return queue_.holds(block) || (!block && sounding_);
}

void AlsaDevice::write(const WaveBlock& block) {
  const auto lock = queue_.lock();
  if (!pcm_ || failed_) return;
  queue_.push(block);
}

bool AlsaDevice::still_playing(const WaveBlock& block) {
  const auto lock = queue_.lock();
  return queue_.holds(&block);
}

bool AlsaDevice::wait(const WaveBlock* block, std::chrono::milliseconds timeout) {
  auto lock = queue_.lock();
  return queue_.wait_while(lock, timeout, [&] { return busy(block); });
}

void AlsaDevice::pause() {
  const auto lock = queue_.lock();
  queue_.set_paused(true);
}

void AlsaDevice::restart() {
  const auto lock = queue_.lock();
  queue_.set_paused(false);
}

void AlsaDevice::reset() {
  auto lock = queue_.lock();
  front_written_ = 0;
  sounding_ = false;
  given_ = unplayed_ = 0;
  ++resets_;
  queue_.clear();
  // The blocks are returned: once this returns, the worker no longer reads their memory.
  while (writing_) queue_.wait(lock);
}

bool AlsaDevice::close() {
  auto lock = queue_.lock();
  if (!pcm_) return true;
  if (!queue_.empty() || sounding_ || replay_left_ > 0) return false;
  quit_ = true;
  queue_.notify();
  lock.unlock();
  worker_.join();
  lock.lock();
  snd_pcm_close(pcm_);
  pcm_ = nullptr;
  return true;
}

uint64_t AlsaDevice::played_frames() {
  const auto lock = queue_.lock();
  return given_ - std::min(unplayed_, given_);
}

std::string AlsaDevice::last_error() const {
  const auto lock = queue_.lock();
  return error_;
}

bool AlsaDevice::failed() const {
  const auto lock = queue_.lock();
  return failed_;
}

unsigned long AlsaDevice::buffer_frames() const {
  const auto lock = queue_.lock();
  return buffer_frames_;
}

unsigned long AlsaDevice::period_frames() const {
  const auto lock = queue_.lock();
  return period_frames_;
}

int AlsaDevice::recover(int error) {
  // Underruns recur when the machine is busy, but each is followed by a write that succeeds; a PCM that
  // needs recovering again and again without taking a frame is failing, and retrying it would spin.
  constexpr int kMaxRecoveries = 4;
  if (++recoveries_ > kMaxRecoveries) return error;
  return snd_pcm_recover(pcm_, error, 1);
}

long AlsaDevice::room() {
  snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
  if (avail < 0) {
    // An underrun (or a suspend) while the decoder fell behind: prepare the PCM again and go on.
    const int error = recover(static_cast<int>(avail));
    if (error < 0) return error;
    avail = snd_pcm_avail_update(pcm_);
    if (avail < 0) return static_cast<long>(avail);
  }
  if (avail == 0) {
    // A PCM that went away wakes this at once with an error; the next look at its room reports it.
    if (const int error = snd_pcm_wait(pcm_, kRoomWaitMs); error < 0 && error != -EPIPE && error != -ESTRPIPE)
      return error;
    return 0;
  }
  return static_cast<long>(avail);
}

long AlsaDevice::put(const uint8_t* data, size_t frames) {
  const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, data, frames);
  if (written == -EAGAIN) return 0;
  if (written < 0) {
    const int error = recover(static_cast<int>(written));
    return error < 0 ? error : 0;
  }
  if (written > 0) recoveries_ = 0;
  return static_cast<long>(written);
}

void AlsaDevice::remember(const uint8_t* data, size_t frames) {
  const size_t size = history_.size();
  size_t bytes = frames * format_.frame_bytes();
  if (size == 0) return;
  if (bytes > size) {
    data += bytes - size;
    bytes = size;
  }
  const size_t first = std::min(bytes, size - history_end_);
  std::memcpy(history_.data() + history_end_, data, first);
  std::memcpy(history_.data(), data + first, bytes - first);
  history_end_ = (history_end_ + bytes) % size;
  history_filled_ = std::min(size, history_filled_ + bytes);
}

AlsaDevice::Held AlsaDevice::hold(size_t& replay) {
  replay = 0;
  if (snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING) return Held::Idle;  // nothing is sounding: stop writing
  if (can_pause_ && !options_.software_pause && snd_pcm_pause(pcm_, 1) == 0) return Held::ByPcm;
  // The PCM cannot pause: keep what it has not played yet, drop it, and give it back at restart.
  snd_pcm_sframes_t delay = 0;
  if (snd_pcm_delay(pcm_, &delay) < 0) delay = 0;
  const size_t frame = format_.frame_bytes();
  const size_t bytes =
      std::min(static_cast<size_t>(std::max<snd_pcm_sframes_t>(delay, 0)) * frame, history_filled_);
  const size_t size = history_.size();
  const size_t start = (history_end_ + size - bytes) % size;
  const size_t first = std::min(bytes, size - start);
  std::memcpy(replay_.data(), history_.data() + start, first);
  std::memcpy(replay_.data() + first, history_.data(), bytes - first);
  snd_pcm_drop(pcm_);
  snd_pcm_prepare(pcm_);
  replay = bytes / frame;
  return Held::ByDropping;
}

void AlsaDevice::release(Held held) {
  if (held == Held::ByPcm && snd_pcm_pause(pcm_, 0) < 0) {
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
  }
}

long AlsaDevice::pcm_delay() {
  snd_pcm_sframes_t delay = 0;
  return snd_pcm_delay(pcm_, &delay) == 0 && delay > 0 ? static_cast<long>(delay) : 0;
}

bool AlsaDevice::sounding(long& delay) {
  delay = pcm_delay();
  switch (snd_pcm_state(pcm_)) {
    case SND_PCM_STATE_PREPARED: {
      // Less than a start threshold was ever written (a short track): start it so that it plays out.
      const snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
      if (avail >= 0 && static_cast<unsigned long>(avail) < buffer_frames_) return snd_pcm_start(pcm_) == 0;
      return false;
    }
    case SND_PCM_STATE_RUNNING:
    case SND_PCM_STATE_DRAINING:
      return delay > 0;
    case SND_PCM_STATE_PAUSED:
      return true;
    default:
      return false;
  }
}

void AlsaDevice::fail(int error) {
  // The PCM is gone (for example the device was unplugged): the queued blocks are returned unplayed rather
  // than left to wait for ever, and the device takes no more until it is opened again.
  failed_ = true;
  error_ = "ALSA PCM \"" + name_ + "\" failed: " + alsa_text(error);
  front_written_ = 0;
  sounding_ = false;
  replay_left_ = 0;
  queue_.clear();
}

void AlsaDevice::run() {
  auto lock = queue_.lock();
  uint64_t resets_seen = resets_;
  Held held = Held::No;
  size_t replay_total = 0;
  while (!quit_) {
    if (failed_) {
      queue_.wait(lock);
      continue;
    }
    if (resets_seen != resets_) {
      resets_seen = resets_;
      lock.unlock();
      snd_pcm_drop(pcm_);
      snd_pcm_prepare(pcm_);
      lock.lock();
      held = Held::No;
      replay_left_ = 0;
      history_filled_ = 0;
      queue_.notify();
      continue;
    }
    if (queue_.paused() != (held != Held::No)) {
      const bool pause = queue_.paused();
      size_t replay = 0;
      lock.unlock();
      if (pause) {
        held = hold(replay);
      } else {
        release(held);
        held = Held::No;
      }
      lock.lock();
      if (pause && held == Held::ByDropping) replay_total = replay_left_ = unplayed_ = replay;
      queue_.notify();
      continue;
    }
    if (held != Held::No) {
      queue_.wait(lock);
      continue;
    }

    const bool replaying = replay_left_ > 0;
    if (!replaying && queue_.empty()) {
      if (!sounding_) {
        queue_.wait(lock);
        continue;
      }
      long delay = 0;
      lock.unlock();
      const bool still = sounding(delay);
      const bool gone = snd_pcm_state(pcm_) == SND_PCM_STATE_DISCONNECTED;
      lock.lock();
      if (gone) {
        fail(-ENODEV);
        continue;
      }
      if (resets_seen != resets_ || queue_.paused()) continue;
      unplayed_ = still ? static_cast<uint64_t>(delay) : 0;
      if (!still) {
        sounding_ = false;
        queue_.notify();
      } else {
        queue_.wait(lock, std::chrono::milliseconds(20));
      }
      continue;
    }

    lock.unlock();
    const long frames_free = room();
    const long before = frames_free >= 0 ? pcm_delay() : 0;
    lock.lock();
    if (frames_free < 0) {
      fail(static_cast<int>(frames_free));
      continue;
    }
    if (resets_seen == resets_) unplayed_ = static_cast<uint64_t>(before) + replay_left_;
    if (frames_free == 0 || resets_seen != resets_ || queue_.paused()) continue;

    const size_t frame = format_.frame_bytes();
    const uint8_t* data;
    size_t frames;
    if (replaying) {
      data = replay_.data() + (replay_total - replay_left_) * frame;
      frames = replay_left_;
    } else {
      const WaveBlock& block = queue_.front();
      data = block.data + front_written_;
      frames = (block.length - front_written_) / frame;
    }
    frames = std::min(frames, static_cast<size_t>(frames_free));
    writing_ = true;
    lock.unlock();
    const long written = frames ? put(data, frames) : 0;
    if (written > 0 && !replaying) remember(data, static_cast<size_t>(written));
    const long after = written >= 0 ? pcm_delay() : 0;
    lock.lock();
    writing_ = false;
    queue_.notify();
    if (written < 0) {
      fail(static_cast<int>(written));
      continue;
    }
    if (resets_seen != resets_) continue;  // the blocks were returned meanwhile
    if (written > 0) sounding_ = true;
    if (replaying) {
      replay_left_ -= static_cast<size_t>(written);
      unplayed_ = static_cast<uint64_t>(after) + replay_left_;
      continue;
    }
    given_ += static_cast<uint64_t>(written);
    unplayed_ = static_cast<uint64_t>(after);
    front_written_ += static_cast<size_t>(written) * frame;
    // A block whose length is not whole frames ends with its last whole frame.
    if (front_written_ + frame > queue_.front().length) {
      front_written_ = 0;
      queue_.pop_front();
    }
  }
}

}  // namespace vemla
