// A sound device on an ALSA PCM, normally "default", which reaches PipeWire or PulseAudio where the desktop
// runs them. A worker thread of the device feeds the PCM from the queued blocks, so that every ALSA call is
// made on one thread; underruns are recovered, and where the PCM cannot pause, a pause drops what the PCM
// holds and plays it again at restart.
#pragma once

#include <thread>
#include <vector>

#include "block_queue.h"
#include "sound_device.h"

struct _snd_pcm;

namespace vemla {

class AlsaDevice final : public SoundDevice {
 public:
  // Pause, a seek and Stop are to be heard within 150 ms. Each pauses or drops the PCM (snd_pcm_pause,
  // snd_pcm_drop), never drains it, and the queued blocks are returned by reset() without reaching the PCM,
  // so what is heard late is: the worker's reaction (one wait for room, kRoomWait = 20 ms, or one write) plus,
  // behind a sound server ("default" on PipeWire or PulseAudio), up to two of its cycles (2 x 1024 frames at
  // 48 kHz = 43 ms): 20 + 43 = 63 ms. A seek also waits for the output buffer's first two blocks (64 frames,
  // 1.7 s of audio, decoded at 100x real time or faster: 17 ms): 80 ms. The buffer asked for, 100 ms in
  // periods of a quarter of it (25 ms), bounds what a PCM that plays out instead of dropping would still
  // play (100 < 150 ms), while a worker held up for less than 100 ms by a busy machine causes no underrun.
  static constexpr unsigned kLatencyUs = 100000;
  static constexpr int kRoomWaitMs = 20;

  struct Options {
    bool software_pause = false;       // pause by dropping and replaying even where the PCM can pause
    unsigned latency_us = kLatencyUs;  // how much sound the PCM holds ahead (its buffer)
  };

  explicit AlsaDevice(std::string pcm_name) : AlsaDevice(std::move(pcm_name), Options()) {}
  AlsaDevice(std::string pcm_name, Options options) : name_(std::move(pcm_name)), options_(options) {}
  ~AlsaDevice() override;

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
  bool failed() const override;
  // Frames given to the PCM minus those it still holds, as the worker last saw them.
  uint64_t played_frames() override;

  const std::string& pcm_name() const { return name_; }
  // What ALSA granted at the last open: the PCM's buffer and period, in frames.
  unsigned long buffer_frames() const;
  unsigned long period_frames() const;

 private:
  enum class Held { No, Idle, ByPcm, ByDropping };

  void run();
  // Frames the PCM takes now (waiting up to 20 ms for room); negative when the PCM failed for good.
  long room();
  // Writes up to `frames` frames; the number written, or negative when the PCM failed for good.
  long put(const uint8_t* data, size_t frames);
  // Prepares the PCM again after `error` (an underrun, a suspend); the error when that fails, or when it
  // has been done kMaxRecoveries times in a row without a frame written (a device that is going away).
  int recover(int error);
  void remember(const uint8_t* data, size_t frames);
  // Holds the PCM for a pause; after a drop, `replay` frames at the start of replay_ are to be given back.
  Held hold(size_t& replay);
  void release(Held held);
  // True while the PCM still has sound to play out (starting it when it was never started); `delay` is
  // what it holds.
  bool sounding(long& delay);
  // Frames the PCM holds that have not been played yet (0 when it cannot tell).
  long pcm_delay();
  void fail(int error);
  // Whether the block is queued; with null, whether any block is or the PCM still sounds.
  bool busy(const WaveBlock* block) const;

  const std::string name_;
  const Options options_;

  BlockQueue queue_;  // its lock guards the members below too, unless said otherwise
  _snd_pcm* pcm_ = nullptr;
  PcmFormat format_;
  std::thread worker_;
  bool can_pause_ = false;
  unsigned long buffer_frames_ = 0;
  unsigned long period_frames_ = 0;
  bool failed_ = false;  // the PCM failed while playing: nothing more goes to it until it is opened again

  // Requests from the device's users.
  bool quit_ = false;
  uint64_t resets_ = 0;
  size_t front_written_ = 0;  // bytes of the front block given to the PCM
  bool writing_ = false;      // the worker is reading the front block's memory
  bool sounding_ = false;     // the PCM holds sound not yet played
  uint64_t given_ = 0;        // frames of queued blocks given to the PCM since the last open or reset
  uint64_t unplayed_ = 0;     // frames given (or kept for replay) not yet played, at the worker's last look
  std::string error_;

  // The worker's own: the last buffer's worth of frames given to the PCM, for a pause by dropping.
  std::vector<uint8_t> history_;
  size_t history_end_ = 0;
  size_t history_filled_ = 0;
  std::vector<uint8_t> replay_;
  size_t replay_left_ = 0;  // frames of replay_ not yet given back
  int recoveries_ = 0;      // recoveries since a frame was last written
};

}  // namespace vemla
