// A sound device that writes what it is given to a WAV file instead of playing it: as fast as blocks come,
// except that a paused device holds its queue until restart and a reset drops it. Each open starts the file
// anew.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "sound_device.h"
#include "wav_file.h"

namespace vemla {

class WavDevice final : public SoundDevice {
 public:
  explicit WavDevice(std::string path) : path_(std::move(path)) {}
  ~WavDevice() override;

  bool open(const PcmFormat& format, std::string& reason) override;
  bool is_open() const override;
  void write(const WaveBlock& block) override;
  bool still_playing(const WaveBlock& block) override;
  bool wait(const WaveBlock* block, std::chrono::milliseconds timeout) override;
  void pause() override;
  void restart() override;
  void reset() override;
  bool close() override;
  std::string last_error() const override;
  uint64_t played_frames() override;

  const std::string& path() const { return path_; }

 private:
  void write_queue();
  bool queued(const WaveBlock* block) const;
  // "cannot write PATH: the system's reason"; the file must be open.
  std::string write_failure() const;

  const std::string path_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<WavFile> file_;
  bool paused_ = false;
  std::deque<const WaveBlock*> queue_;
  unsigned frame_bytes_ = 4;
  uint64_t written_since_reset_ = 0;  // bytes written since the last open or reset
  std::string error_;
};

}  // namespace vemla
