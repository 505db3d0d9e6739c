// The sound device the player writes to: 16-bit PCM blocks queued in order and played one after the other,
// with pause, restart and reset from another thread. Modelled on the waveOut interface the output buffer was
// designed for: a block stays owned by its writer and is "still playing" until the device has finished with
// it or a reset has returned it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vemla {

// Signed 16-bit little-endian samples, interleaved by channel.
struct PcmFormat {
  unsigned channels = 2;
  unsigned frequency = 44100;

  unsigned frame_bytes() const { return channels * 2; }
  unsigned bytes_per_second() const { return frequency * frame_bytes(); }
};

// One block of PCM handed to a device. The writer owns the memory and must keep it unchanged while the block
// is still playing.
struct WaveBlock {
  const uint8_t* data = nullptr;
  size_t length = 0;  // bytes, whole sample frames
  uint32_t user = 0;  // the writer's own mark; the device never touches it
};

// Every operation is safe to call from any thread. write, still_playing, wait and close come from the decode
// thread; pause, restart, reset and played_frames also come from the user-interface thread.
class SoundDevice {
 public:
  virtual ~SoundDevice() = default;

  // Opens the device for `format`, running and empty. False, with the reason, when it cannot.
  virtual bool open(const PcmFormat& format, std::string& reason) = 0;
  virtual bool is_open() const = 0;
  // Queues a block behind those already queued.
  virtual void write(const WaveBlock& block) = 0;
  // True while the block is queued or playing.
  virtual bool still_playing(const WaveBlock& block) = 0;
  // Blocks until `block` (when null: every queued block and the sound behind it) has finished, until the
  // device is paused or reset, or until `timeout` has passed. True while it is still playing.
  virtual bool wait(const WaveBlock* block, std::chrono::milliseconds timeout) = 0;
  // Holds playback where it is; queued blocks stay queued.
  virtual void pause() = 0;
  // Continues after pause().
  virtual void restart() = 0;
  // Stops at once: every queued block is returned (no longer playing) and the position goes back to 0. A
  // paused device stays paused.
  virtual void reset() = 0;
  // Closes the device. False, and still open, while blocks are queued or sound is still coming out; true at
  // once after reset().
  virtual bool close() = 0;
  // The reason of the last failure after open(), or empty.
  virtual std::string last_error() const = 0;
  // True once the open device has failed for good while playing (a USB device unplugged): it has returned
  // every queued block and takes no more until it is closed and opened again; last_error() says why.
  virtual bool failed() const { return false; }
  // Sample frames of the queued audio that have been played since the last open() or reset(): what the
  // listener has heard, as far as the device can tell.
  virtual uint64_t played_frames() = 0;
};

}  // namespace vemla
