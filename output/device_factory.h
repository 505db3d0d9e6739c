// Which sound device the user chose: by name on the command line or in the environment.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "sound_device.h"

namespace vemla {

// The device a choice names: "alsa" (the ALSA "default" PCM), "alsa:PCM" (another ALSA PCM, for example
// "null"), "null" or "null:SPEED" (no sound, real time times SPEED), "wav:PATH" (a WAV file). Null, with the
// reason in `error`, for anything else.
std::unique_ptr<SoundDevice> make_sound_device(std::string_view choice, std::string& error);

// The choice of the environment variable VEMLA_AUDIO, or "alsa" when it is unset or empty.
std::string sound_device_choice_from_environment();

// The device VEMLA_AUDIO chooses. A choice that names no device is reported through notifier() as a warning,
// and ALSA's default PCM is used instead.
std::unique_ptr<SoundDevice> sound_device_from_environment();
// The same, with the warning in `problem` (naming the variable) for the caller to show where its user sees
// it.
std::unique_ptr<SoundDevice> sound_device_from_environment(std::string& problem);

}  // namespace vemla
