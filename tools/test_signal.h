// A music-like test signal (chords with vibrato, a bass line, noise bursts and silence) for tests and
// benchmarks; deterministic for a given length and rate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vemla {

// Interleaved 16-bit samples, `seconds` long.
std::vector<int16_t> make_test_signal(double seconds, unsigned frequency, unsigned channels);

// Writes the signal as a 16-bit PCM WAV file; throws std::runtime_error when it cannot.
void write_test_signal_wav(const std::string& path, double seconds, unsigned frequency, unsigned channels);

}  // namespace vemla
