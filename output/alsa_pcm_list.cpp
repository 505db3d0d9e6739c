#include "alsa_pcm_list.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace vemla {

namespace {

constexpr const char* kDefault = "default";

std::string one_line(const std::string& text) {
  std::string line;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) line += (line.empty() ? "" : ", ") + text.substr(start, end - start);
    start = end + 1;
  }
  return line;
}

bool wanted(const PcmHint& hint) {
  if (!hint.name || hint.name->empty()) return false;
  if (hint.ioid && *hint.ioid == "Input") return false;  // a capture device
  // "null" plays nothing, and the surround PCMs take only their four to eight channels, never a stereo
  // track: offered, either would look like a device that is broken.
  return *hint.name != "null" && hint.name->rfind("surround", 0) != 0;
}

std::optional<std::string> hint_field(const void* hint, const char* id) {
  std::unique_ptr<char, decltype(&std::free)> value(snd_device_name_get_hint(hint, id), &std::free);
  if (!value) return std::nullopt;
  return std::string(value.get());
}

}  // namespace

std::vector<PcmDevice> playable_pcms(const std::vector<PcmHint>& hints) {
  std::vector<PcmDevice> devices;
  devices.push_back({kDefault, "The system's default sound device"});
  bool default_described = false;
  for (const PcmHint& hint : hints) {
    if (!wanted(hint)) continue;
    std::string description = hint.description ? one_line(*hint.description) : std::string();
    if (*hint.name == kDefault) {
      // A "default" of the user's own configuration often has no description: ours stays.
      if (!default_described && !description.empty()) devices.front().description = description;
      default_described = true;
      continue;
    }
    if (description.empty()) description = *hint.name;
    const bool listed = std::any_of(devices.begin(), devices.end(),
                                    [&](const PcmDevice& device) { return device.name == *hint.name; });
    if (!listed) devices.push_back({*hint.name, description});
  }
  return devices;
}

std::vector<PcmDevice> list_alsa_pcms() {
  void** hints = nullptr;
  std::vector<PcmHint> read;
  if (snd_device_name_hint(-1, "pcm", &hints) == 0 && hints) {
    for (void** hint = hints; *hint; ++hint)
      read.push_back({hint_field(*hint, "NAME"), hint_field(*hint, "DESC"), hint_field(*hint, "IOID")});
    snd_device_name_free_hint(hints);
  }
  return playable_pcms(read);
}

std::string pcm_description(const std::vector<PcmDevice>& devices, const std::string& name) {
  for (const PcmDevice& device : devices)
    if (device.name == name) return device.description;
  return name;
}

}  // namespace vemla
