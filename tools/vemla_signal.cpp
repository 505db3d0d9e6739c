// vemla-signal: writes a music-like test signal as a WAV file, for making test and benchmark streams.
#include <CLI/CLI.hpp>

#include <iostream>

#include "test_signal.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a music-like 16-bit WAV test signal."};
  std::string output;
  double seconds = 10;
  unsigned rate = 44100, channels = 2;
  app.add_option("output", output, "WAV file to write")->required();
  app.add_option("-s,--seconds", seconds, "length in seconds")->check(CLI::Range(0.0, 36000.0));
  app.add_option("-r,--rate", rate, "sampling frequency in Hz")->check(CLI::Range(8000u, 192000u));
  app.add_option("-c,--channels", channels, "1 or 2")->check(CLI::Range(1u, 2u));
  CLI11_PARSE(app, argc, argv);
  try {
    vemla::write_test_signal_wav(output, seconds, rate, channels);
  } catch (const std::exception& e) {
    std::cerr << "vemla-signal: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
