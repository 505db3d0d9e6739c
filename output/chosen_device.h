// The sound device the user chose in the options: every open() opens the ALSA PCM chosen at that moment, so
// that a new choice is heard from the next run on, without a restart. Without a choice (the environment
// names the device, or "default" is chosen) the device it was given plays. A chosen PCM that ALSA no longer
// lists (a USB device unplugged since) gives way to the given device, with a note for the user; one that is
// listed but cannot be opened (busy) fails with its own reason.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "alsa_pcm_list.h"
#include "sound_device.h"

namespace vemla {

class ChosenDevice final : public SoundDevice {
 public:
  using Maker = std::function<std::unique_ptr<SoundDevice>(const std::string& pcm)>;
  using Lister = std::function<std::vector<PcmDevice>()>;
  using Note = std::function<void(const std::string& text)>;

  // `given` plays without a choice. `make` makes the device of a chosen PCM (an AlsaDevice), `list` lists
  // the PCMs there are now (ALSA's hints).
  explicit ChosenDevice(std::unique_ptr<SoundDevice> given, Maker make = {}, Lister list = list_alsa_pcms);

  // The PCM the next open() opens; empty or "default" for the given device. Any thread.
  void choose(const std::string& pcm);
  std::string choice() const;
  // Called on the thread that opens the device (the decode thread) when the given device played in place of
  // a chosen PCM that is gone; the text names it.
  void set_note(Note note);

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
  uint64_t played_frames() override;

 private:
  // The device the last open() opened (or tried): what every other operation goes to.
  std::shared_ptr<SoundDevice> current() const;

  const std::shared_ptr<SoundDevice> given_;
  const Maker make_;
  const Lister list_;
  mutable std::mutex mutex_;  // guards the members below
  std::string choice_;
  std::shared_ptr<SoundDevice> made_;  // the device of the chosen PCM, kept while the choice stands
  std::string made_for_;
  std::shared_ptr<SoundDevice> current_;
  Note note_;
};

}  // namespace vemla
