// The loudness of tracks as ReplayGain 2 measures it: the integrated loudness of ITU-R BS.1770 / EBU R128
// (libebur128) over the decoder's samples before the 16-bit conversion, and their peak, in steps so that a
// caller can share its thread; an album's loudness from the meters of its tracks.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gain_stage.h"

namespace vemla {

// ReplayGain 2's reference loudness: a track's gain brings it there.
constexpr double kReferenceLoudness = -18.0;  // LUFS

// The gain toward the reference for a measured loudness; nothing for silence (a loudness of -infinity).
std::optional<double> gain_for_loudness(double lufs);

class LoudnessMeter {
 public:
  enum class Peak { Sample, True };

  // Opens the file and its first frame; failed() says why when it cannot be measured.
  explicit LoudnessMeter(const std::filesystem::path& file, Peak peak = Peak::Sample);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  // Decodes frames until the deadline has passed (at least one) or the stream ends; true when it has ended.
  bool measure(std::chrono::steady_clock::time_point deadline);
  // Decodes the whole stream.
  void measure_all();
  bool done() const { return done_; }
  // Why the track cannot be measured (no frame header, nothing decoded); empty when it can be.
  const std::string& failed() const { return failed_; }

  // After done: the integrated loudness in LUFS (-infinity for silence) and the peak (1.0 full scale).
  double loudness() const;
  double peak() const;
  // Seconds of audio measured so far.
  double seconds() const;

  // The loudness of several measured tracks taken as one programme: an album's.
  static double loudness_of(const std::vector<const LoudnessMeter*>& meters);

 private:
  struct Decoding;
  struct State;
  std::unique_ptr<State> state_;  // libebur128's meter
  std::unique_ptr<Decoding> decoding_;
  bool done_ = false;
  double seconds_measured_ = 0;
  std::string failed_;
  Peak peak_kind_;
};

}  // namespace vemla
