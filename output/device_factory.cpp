#include "device_factory.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "alsa_device.h"
#include "notifier.h"
#include "null_device.h"
#include "wav_device.h"

namespace vemla {

std::unique_ptr<SoundDevice> make_sound_device(std::string_view choice, std::string& error) {
  const auto colon = choice.find(':');
  const std::string_view kind = choice.substr(0, colon);
  const std::string_view argument =
      colon == std::string_view::npos ? std::string_view() : choice.substr(colon + 1);
  const bool has_argument = colon != std::string_view::npos;

  if (kind == "alsa") {
    if (has_argument && argument.empty()) {
      error = "alsa: names no PCM";
      return nullptr;
    }
    return std::make_unique<AlsaDevice>(has_argument ? std::string(argument) : std::string("default"));
  }
  if (kind == "null") {
    double speed = 1.0;
    if (has_argument) {
      const auto [end, ec] = std::from_chars(argument.data(), argument.data() + argument.size(), speed);
      // A device at speed 0 would never play a block, and one at an infinite speed has no time to keep.
      if (ec != std::errc() || end != argument.data() + argument.size() || !(speed > 0) || !std::isfinite(speed)) {
        error = "null: the speed must be a positive number, not \"" + std::string(argument) + "\"";
        return nullptr;
      }
    }
    return std::make_unique<NullDevice>(speed);
  }
  if (kind == "wav") {
    if (argument.empty()) {
      error = "wav: names no file (wav:PATH)";
      return nullptr;
    }
    return std::make_unique<WavDevice>(std::string(argument));
  }
  error =
      "unknown sound device \"" + std::string(choice) + "\" (alsa, alsa:PCM, null, null:SPEED or wav:PATH)";
  return nullptr;
}

std::string sound_device_choice_from_environment() {
  const char* value = std::getenv("VEMLA_AUDIO");
  return value && *value ? std::string(value) : std::string("alsa");
}

std::unique_ptr<SoundDevice> sound_device_from_environment(std::string& problem) {
  std::string error;
  std::unique_ptr<SoundDevice> device = make_sound_device(sound_device_choice_from_environment(), error);
  if (device) return device;
  problem = "The environment variable VEMLA_AUDIO names no sound device: " + error +
            ". Vemla plays through ALSA's \"default\" device instead.";
  return std::make_unique<AlsaDevice>("default");
}

std::unique_ptr<SoundDevice> sound_device_from_environment() {
  std::string problem;
  std::unique_ptr<SoundDevice> device = sound_device_from_environment(problem);
  if (!problem.empty()) notifier().notify("Audio playback error", problem, MessageIcon::Warning);
  return device;
}

}  // namespace vemla
