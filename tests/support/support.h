// Shared pieces of the test suites: temporary folders, test data locations, decoding into memory and
// comparing PCM with a reference.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "header.h"
#include "obuffer.h"

namespace vemla::test {

// A fresh folder under the system's temporary folder, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The conformance streams' folder: $VEMLA_CONFORMANCE, else the one the build was configured with; empty
// when neither exists.
std::filesystem::path conformance_dir();

std::vector<uint8_t> read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Runs a shell command; its exit status (or -1).
int run(const std::string& command);
// True when a program of that name is on the PATH.
bool have_program(const std::string& name);

// An output buffer that keeps everything in memory, interleaved, and counts what the decoder asked of it.
class MemorySink : public Obuffer {
 public:
  explicit MemorySink(unsigned channels, bool floats = false) : channels_(channels), floats_(floats) {}
  void put_sample(int channel, int16_t sample) override;
  bool wants_float() const override { return floats_; }
  void put_float_samples(int channel, const float* samples, int count) override;
  void end_frame(int) override;
  void clear() override;
  void request_stop() override { ++stops; }

  unsigned channels() const { return channels_; }
  std::vector<int16_t> pcm;     // 16-bit samples
  std::vector<float> floats;    // samples before the 16-bit conversion
  std::vector<size_t> frame_ends;  // sample frames delivered at each end_frame
  int clears = 0;
  int stops = 0;

 private:
  template <typename T>
  void put(std::vector<T>& out, int channel, T value);
  unsigned channels_;
  bool floats_;
  size_t written_[2] = {0, 0};
};

struct Decoded {
  bool opened = false;  // a first frame header was found
  unsigned channels = 0;
  unsigned frequency = 0;
  std::vector<int16_t> pcm;
  std::vector<float> floats;
  size_t frames = 0;  // end_frame calls
};

// Decodes a whole file as the decode run does (a seek to frame 0, then every frame); with `gapless`, the
// encoder's delay and padding dropped where the tags give them.
Decoded decode_file(const std::filesystem::path& path, ChannelChoice choice = ChoiceStereo, bool floats = false,
                    bool gapless = false);

// The result of comparing decoded PCM (in 16-bit steps) with a reference, aligned by whole sample frames.
struct Comparison {
  long offset = 0;        // ours[i] is compared with reference[i + offset * channels]
  size_t compared = 0;    // samples compared
  double max_difference = 0;
  double rms = 0;
  double psnr = 0;        // 10 log10(32767^2 / mean squared difference)
};
Comparison compare_aligned(const std::vector<double>& ours, const std::vector<int16_t>& reference, unsigned channels,
                           long max_offset_frames);
std::vector<double> as_steps(const std::vector<int16_t>& pcm);
// Float samples (full scale +-1.0) rounded to the nearest 16-bit step, clipped.
std::vector<double> rounded_steps(const std::vector<float>& samples);

}  // namespace vemla::test
