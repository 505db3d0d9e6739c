#include "gain_stage.h"

#include <algorithm>
#include <cmath>

namespace vemla {

std::optional<double> sane_gain(double gain) {
  if (!std::isfinite(gain)) return std::nullopt;
  // The format says to limit such a value rather than drop it.
  return std::clamp(gain, -kMaxReplayGain, kMaxReplayGain);
}

std::optional<double> sane_peak(double peak) {
  if (!std::isfinite(peak) || peak <= 0.0) return std::nullopt;
  return peak;
}

bool replaygain_mode_from_text(std::string_view text, ReplayGainMode& mode) {
  for (ReplayGainMode each : {ReplayGainMode::Off, ReplayGainMode::Track, ReplayGainMode::Album}) {
    if (text == replaygain_mode_text(each)) {
      mode = each;
      return true;
    }
  }
  return false;
}

const char* replaygain_mode_text(ReplayGainMode mode) {
  switch (mode) {
    case ReplayGainMode::Track:
      return "track";
    case ReplayGainMode::Album:
      return "album";
    default:
      return "off";
  }
}

double volume_factor(double position) {
  if (!std::isfinite(position)) return 1.0;
  const double p = std::clamp(position, 0.0, 1.0);
  return p * p * p;
}

double db_to_factor(double db) {
  return std::pow(10.0, db / 20.0);
}

double factor_to_db(double factor) {
  return 20.0 * std::log10(factor);
}

double gain_factor(const GainSettings& settings, const ReplayGain& gain) {
  const double volume = std::isfinite(settings.volume) ? std::clamp(settings.volume, 0.0, 1.0) : 1.0;
  if (settings.mode == ReplayGainMode::Off) return volume;
  std::optional<double> db = gain.track_gain;
  std::optional<double> peak = gain.track_peak;
  if (settings.mode == ReplayGainMode::Album && gain.album_gain) {
    db = gain.album_gain;
    peak = gain.album_peak;
  }
  const double preamp = std::isfinite(settings.preamp) ? std::clamp(settings.preamp, -kMaxPreamp, kMaxPreamp) : 0;
  const double fallback =
      std::isfinite(settings.fallback_gain) ? std::clamp(settings.fallback_gain, -kMaxPreamp, kMaxPreamp) : 0;
  double factor = db ? db_to_factor(std::clamp(*db, -kMaxReplayGain, kMaxReplayGain) + preamp)
                     : db_to_factor(fallback);
  if (settings.prevent_clipping && db && peak && *peak > 0 && factor * *peak > 1.0) factor = 1.0 / *peak;
  return factor * volume;
}

}  // namespace vemla
