#include "test_signal.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

#include "wav_file.h"

namespace vemla {

std::vector<int16_t> make_test_signal(double seconds, unsigned frequency, unsigned channels) {
  const size_t frames = static_cast<size_t>(seconds * frequency);
  std::vector<int16_t> out(frames * channels);
  std::mt19937 random(12345);
  std::normal_distribution<double> noise(0.0, 1.0);
  // A slow progression of chords; each voice has its own vibrato and a place in the stereo image.
  const double chords[4][3] = {{220.0, 277.2, 329.6}, {196.0, 246.9, 293.7}, {174.6, 220.0, 261.6},
                               {164.8, 207.7, 246.9}};
  double phase[4] = {0, 0, 0, 0};
  for (size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / frequency;
    const int chord = static_cast<int>(t / 1.5) % 4;
    const double beat = std::fmod(t, 0.5);
    const double envelope = std::exp(-3.0 * beat);
    double voices[4];
    for (int v = 0; v < 3; ++v) {
      const double f = chords[chord][v] * (1.0 + 0.004 * std::sin(2 * M_PI * (5.0 + v) * t)) * (v == 2 ? 2.0 : 1.0);
      phase[v] += 2 * M_PI * f / frequency;
      voices[v] = std::sin(phase[v]) + 0.3 * std::sin(3 * phase[v]) + 0.1 * std::sin(7 * phase[v]);
    }
    phase[3] += 2 * M_PI * chords[chord][0] / 4 / frequency;
    voices[3] = std::sin(phase[3]) * envelope;
    // Short noise bursts on every other beat, and a moment of silence every 6 seconds (block switching).
    const double burst = std::fmod(t, 1.0) < 0.03 ? 0.5 * noise(random) : 0.0;
    const double gate = std::fmod(t, 6.0) > 5.8 ? 0.0 : 1.0;
    const double left = gate * (0.18 * voices[0] + 0.12 * voices[1] + 0.08 * voices[2] + 0.3 * voices[3] + burst);
    const double right = gate * (0.08 * voices[0] + 0.12 * voices[1] + 0.18 * voices[2] + 0.3 * voices[3] - burst);
    const double mix[2] = {left, right};
    for (unsigned c = 0; c < channels; ++c) {
      const double value = channels == 1 ? 0.5 * (left + right) : mix[c & 1];
      out[n * channels + c] = static_cast<int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32000.0));
    }
  }
  return out;
}

void write_test_signal_wav(const std::string& path, double seconds, unsigned frequency, unsigned channels) {
  const std::vector<int16_t> samples = make_test_signal(seconds, frequency, channels);
  WavFile file(path, channels, frequency, WavFile::Sample::Int16);
  if (!file.write(samples.data(), samples.size()) || !file.finish())
    throw std::runtime_error("cannot write " + path);
}

}  // namespace vemla
