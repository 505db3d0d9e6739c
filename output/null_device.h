// A sound device without sound: it consumes queued blocks at the real-time rate of their format, measured on
// a monotonic clock, so that pacing, pause, reset and draining behave as on a sound card. A speed factor
// makes it faster (tests) or stops it (0: a device that has stopped consuming).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "sound_device.h"

namespace vemla {

class NullDevice final : public SoundDevice {
 public:
  using Clock = std::chrono::steady_clock;

  explicit NullDevice(double speed = 1.0) : speed_(speed) {}

  bool open(const PcmFormat& format, std::string& reason) override;
  bool is_open() const override;
  void write(const WaveBlock& block) override;
  bool still_playing(const WaveBlock& block) override;
  bool wait(const WaveBlock* block, std::chrono::milliseconds timeout) override;
  void pause() override;
  void restart() override;
  void reset() override;
  bool close() override;
  std::string last_error() const override { return {}; }
  uint64_t played_frames() override;

  void set_speed(double speed);
  // What has been consumed in full since construction (bytes of whole blocks and of parts cut by reset).
  uint64_t bytes_played();
  // Blocks queued and not yet finished.
  size_t queued_blocks();
  bool paused() const;
  PcmFormat format() const;
  // How often the device was opened.
  unsigned opens() const;

 private:
  // Moves the play position on to `now`; finished blocks leave the queue.
  void advance(Clock::time_point now);
  bool queued(const WaveBlock* block) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  double speed_;
  bool open_ = false;
  bool paused_ = false;
  PcmFormat format_;
  std::deque<const WaveBlock*> queue_;
  size_t front_played_ = 0;  // bytes of the front block already consumed
  double credit_ = 0;        // bytes consumed by the clock but not yet whole
  Clock::time_point last_;
  uint64_t bytes_played_ = 0;
  uint64_t bytes_since_reset_ = 0;  // consumed since the last open or reset
  unsigned opens_ = 0;
};

}  // namespace vemla
