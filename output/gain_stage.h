// The output level of a run: the factor the decoder's samples are multiplied by before the 16-bit conversion,
// from the track's ReplayGain values, the user's choices and (later) the volume. Plain numbers only, so that
// the player, the command-line tools and the library share one rule.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vemla {

// A track's ReplayGain values: gains in dB toward the reference loudness (-18 LUFS), peaks as linear sample
// amplitudes (1.0 is full scale). Absent values are unknown.
struct ReplayGain {
  std::optional<double> track_gain, track_peak, album_gain, album_peak;

  bool empty() const { return !track_gain && !track_peak && !album_gain && !album_peak; }
  bool operator==(const ReplayGain&) const = default;
};

// The range the ReplayGain format allows for a gain; a value outside it is an error of whoever wrote it.
constexpr double kMaxReplayGain = 51.0;
// The pre-amp's range, in dB.
constexpr double kMaxPreamp = 15.0;

// A gain as kept: within +-kMaxReplayGain; nothing when it is not a finite number.
std::optional<double> sane_gain(double gain);
// A peak as kept: a positive finite amplitude (a peak of 0 says nothing); nothing otherwise.
std::optional<double> sane_peak(double peak);

enum class ReplayGainMode { Off, Track, Album };

// "off", "track", "album"; false for any other text.
bool replaygain_mode_from_text(std::string_view text, ReplayGainMode& mode);
const char* replaygain_mode_text(ReplayGainMode mode);

struct GainSettings {
  ReplayGainMode mode = ReplayGainMode::Off;
  double preamp = 0.0;           // dB added to a track's own gain, within +-kMaxPreamp
  bool prevent_clipping = true;  // the factor times the known peak never exceeds 1.0
  double fallback_gain = 0.0;    // dB for a track without a gain of the chosen kind (instead of the pre-amp)
  double volume = 1.0;           // linear factor, 0 (mute) to 1, applied last
  bool operator==(const GainSettings&) const = default;
};

// The factor for a track: with the mode off, only the volume. Album mode takes the album gain and peak, else
// the track's. A track with a gain gets gain + pre-amp; one without gets the fallback gain. Clipping prevention
// then lowers the factor to 1 / peak when the peak of the gain taken is known.
double gain_factor(const GainSettings& settings, const ReplayGain& gain);

// The volume control's curve: a position 0...1 (the slider, the media controls' Volume) as the linear factor
// it plays at. Cubic, so that equal steps sound about equally loud (half way is -18 dB); out-of-range
// positions are clamped.
double volume_factor(double position);

// A gain in dB as a linear factor, and back.
double db_to_factor(double db);
double factor_to_db(double factor);

}  // namespace vemla
