#include "chosen_device.h"

#include <algorithm>

#include "alsa_device.h"

namespace vemla {

ChosenDevice::ChosenDevice(std::unique_ptr<SoundDevice> given, Maker make, Lister list)
    : given_(std::move(given)),
      make_(make ? std::move(make)
                 : Maker([](const std::string& pcm) { return std::make_unique<AlsaDevice>(pcm); })),
      list_(std::move(list)),
      current_(given_) {}

void ChosenDevice::choose(const std::string& pcm) {
  std::lock_guard lock(mutex_);
  choice_ = pcm == "default" ? std::string() : pcm;
}

std::string ChosenDevice::choice() const {
  std::lock_guard lock(mutex_);
  return choice_;
}

void ChosenDevice::set_note(Note note) {
  std::lock_guard lock(mutex_);
  note_ = std::move(note);
}

std::shared_ptr<SoundDevice> ChosenDevice::current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

bool ChosenDevice::open(const PcmFormat& format, std::string& reason) {
  std::shared_ptr<SoundDevice> device = given_;
  std::string choice;
  Note note;
  {
    std::lock_guard lock(mutex_);
    choice = choice_;
    note = note_;
    if (!choice.empty()) {
      if (!made_ || made_for_ != choice) {
        made_ = make_(choice);
        made_for_ = choice;
      }
      device = made_;
    }
  }
  // Opened without the lock: the user's thread may pause or reset the device it last played meanwhile.
  bool opened = device->open(format, reason);
  if (!opened && device != given_) {
    const std::vector<PcmDevice> there = list_ ? list_() : std::vector<PcmDevice>();
    const bool listed =
        std::any_of(there.begin(), there.end(), [&](const PcmDevice& pcm) { return pcm.name == choice; });
    std::string given_reason;
    if (!listed && given_->open(format, given_reason)) {
      device = given_;
      opened = true;
      reason.clear();
      if (note) note("\"" + choice + "\" is not connected: playing on \"default\"");
    }
  }
  std::lock_guard lock(mutex_);
  current_ = device;
  return opened;
}

bool ChosenDevice::is_open() const {
  return current()->is_open();
}
void ChosenDevice::write(const WaveBlock& block) {
  current()->write(block);
}
bool ChosenDevice::still_playing(const WaveBlock& block) {
  return current()->still_playing(block);
}
bool ChosenDevice::wait(const WaveBlock* block, std::chrono::milliseconds timeout) {
  return current()->wait(block, timeout);
}
void ChosenDevice::pause() {
  current()->pause();
}
void ChosenDevice::restart() {
  current()->restart();
}
void ChosenDevice::reset() {
  current()->reset();
}
bool ChosenDevice::close() {
  return current()->close();
}
std::string ChosenDevice::last_error() const {
  return current()->last_error();
}
bool ChosenDevice::failed() const {
  return current()->failed();
}
uint64_t ChosenDevice::played_frames() {
  return current()->played_frames();
}

}  // namespace vemla
