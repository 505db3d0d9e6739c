// The system's ALSA PCMs that play, as ALSA's own hints name and describe them (what `aplay -L` lists): the
// choices of the sound device, "default" first.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vemla {

struct PcmDevice {
  std::string name;         // what snd_pcm_open takes: "default", "hw:CARD=DAC,DEV=0" ...
  std::string description;  // one line: "USB Audio DAC, USB Audio"
  friend bool operator==(const PcmDevice&, const PcmDevice&) = default;
};

// One hint as ALSA gives it; any field may be missing.
struct PcmHint {
  std::optional<std::string> name;
  std::optional<std::string> description;  // lines separated by '\n'
  std::optional<std::string> ioid;         // "Input", "Output", or missing for both
};

// The PCMs of `hints` that can play, each once, "default" first (added when the hints lack it).
std::vector<PcmDevice> playable_pcms(const std::vector<PcmHint>& hints);

// The hints ALSA gives now for "pcm", read through playable_pcms. Just "default" when ALSA gives none.
std::vector<PcmDevice> list_alsa_pcms();

// The description shown for `name` among `devices`, else the name itself.
std::string pcm_description(const std::vector<PcmDevice>& devices, const std::string& name);

}  // namespace vemla
