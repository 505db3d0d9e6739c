// A sound device that writes what it is given to a WAV file instead of playing it: as fast as blocks come,
// except that a paused device holds its queue until restart and a reset drops it. Each open starts the file
// anew.
#pragma once

#include <memory>

#include "block_queue.h"
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
  // Writes the queued blocks to the file; the queue's lock held.
  void write_queue();
  // "cannot write PATH: the system's reason"; the file must be open.
  std::string write_failure() const;

  const std::string path_;
  BlockQueue queue_;  // its lock guards the members below too
  std::unique_ptr<WavFile> file_;
  unsigned frame_bytes_ = 4;
  uint64_t written_since_reset_ = 0;  // bytes written since the last open or reset
  std::string error_;
};

}  // namespace vemla
