// The output buffer that plays decoded PCM on a sound device: three large blocks of interleaved 16-bit PCM
// rotate between being filled and being queued at the device. Playback starts when the second block is full;
// from then on two blocks are at the device while the third is filled, and waiting for the oldest one paces
// the decoder to the device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "obuffer.h"
#include "sound_device.h"

namespace vemla {

// What the waits of an output buffer ask of the run it serves.
class WaitControl {
 public:
  virtual ~WaitControl() = default;
  // True once the run has been told to stop: no wait goes on after that.
  virtual bool stop_requested() = 0;
  // Called between two looks at the device; a run that is being suspended holds here.
  virtual void pause_point() {}
};

class MCIbuffer final : public Obuffer {
 public:
  static constexpr unsigned kFramesPerBlock = 32;

  // Bytes of one block: 32 frames of `frame_samples` samples a channel (what one frame of the stream's layer
  // and version delivers).
  static size_t block_size(unsigned frame_samples, unsigned channels);

  // Opens `device` for `format` (1 or 2 channels) and sizes the blocks for frames of `frame_samples` samples
  // a channel. When the device cannot be opened the user is told, opened() is false and the buffer takes
  // samples without playing them.
  MCIbuffer(const PcmFormat& format, unsigned frame_samples, SoundDevice& device, WaitControl& control);
  // Plays out what is buffered and closes the device; after request_stop() drops it instead.
  ~MCIbuffer() override;
  MCIbuffer(const MCIbuffer&) = delete;
  MCIbuffer& operator=(const MCIbuffer&) = delete;

  bool opened() const { return opened_; }
  // The device failed while playing (it went away): the user has been told once, nothing more is played,
  // and the run is to end.
  bool device_failed() const { return failed_; }
  unsigned channels() const { return channels_; }
  unsigned frame_samples() const { return frame_samples_; }
  size_t block_size() const { return block_samples_ * 2; }

  void put_sample(int channel, int16_t sample) override;
  void put_samples(int channel, const int16_t* samples, int count) override;
  void end_frame(int descriptor) override;
  void clear() override;
  void request_stop() override { stop_ = true; }
  // Plays out what is buffered, as the destructor does, but keeps the device open, so that a seek (clear,
  // then more samples) can follow. The last block is played with its full length, silent after the samples,
  // or, without `pad_last_block`, ends with the last sample. False when the run's control asked to stop
  // before the audio ended.
  bool play_out(bool pad_last_block = true);
  // Sample frames taken since the device was opened or the buffer cleared: the device's played count at
  // which whatever comes next begins.
  uint64_t frames_written() const { return completed_frames_ + frames_in_block(); }

 private:
  struct Slot {
    std::unique_ptr<int16_t[]> samples;
    WaveBlock block;
  };

  // Whether the write position of channel c may take another sample, completing the block first when every
  // channel has filled it (frames longer than the block was sized for).
  bool room_for(unsigned c);
  // A block is full: queue it, rotate, and wait for the oldest block when two are at the device.
  void complete_block();
  void queue(Slot& slot);
  void rotate();
  void restart_positions();
  // Queues the blocks not yet at the device: the first one when playback never started, and the one being
  // filled, silent after its samples to its full length when `pad`.
  void queue_the_rest(bool pad);
  // Sample frames in the block being filled.
  size_t frames_in_block() const;
  // Waits while the device still plays the slot's block; false when the run was told to stop first.
  bool wait_for(const Slot& slot);
  bool stopping() { return stop_ || control_.stop_requested() || check_device(); }
  // Notes a device that has failed, telling the user the first time; true once it has.
  bool check_device();

  SoundDevice& device_;
  WaitControl& control_;
  const unsigned channels_;
  const unsigned frame_samples_;
  size_t block_samples_ = 0;  // 16-bit values per block
  Slot storage_[3];
  Slot* slots_[3] = {&storage_[0], &storage_[1], &storage_[2]};  // slots_[2] is the block being filled
  size_t position_[2] = {0, 1};  // next value of each channel in the block being filled
  unsigned frames_in_block_ = 0;
  unsigned blocks_started_ = 0;
  uint64_t completed_frames_ = 0;  // sample frames in the blocks completed since the last clear
  bool opened_ = false;
  bool stop_ = false;
  bool failed_ = false;
};

}  // namespace vemla
