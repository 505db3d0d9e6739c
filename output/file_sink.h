// An output buffer that writes the decoded PCM to a file instead of a sound device.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "obuffer.h"
#include "wav_file.h"

namespace vemla {

class FileSink final : public Obuffer {
 public:
  enum class Format { Wav, Raw };

  // Creates the file; throws std::runtime_error when it cannot. With Float32 the sink takes the samples
  // before their 16-bit conversion.
  FileSink(const std::string& path, Format format, WavFile::Sample sample, unsigned channels, unsigned frequency);
  // Writes out the frame in progress unless request_stop() was called, and completes the file.
  ~FileSink() override;

  void put_sample(int channel, int16_t sample) override;
  void put_samples(int channel, const int16_t* samples, int count) override;
  bool wants_float() const override { return sample_ == WavFile::Sample::Float32; }
  void put_float_samples(int channel, const float* samples, int count) override;
  void end_frame(int descriptor) override;
  void clear() override;
  void request_stop() override { stopped_ = true; }

  // Completes the file and gives it its name; false when a write failed (the file is then removed).
  bool finish();
  // Drops the file: nothing of it is kept, and an earlier file of that name stays as it was.
  void discard();
  uint64_t samples_written() const { return written_; }
  // Why writing failed, or empty.
  const std::string& error() const { return file_.error(); }

 private:
  template <typename T>
  void put(std::vector<T>& buffer, int channel, const T* samples, int count);
  void flush();

  WavFile file_;
  WavFile::Sample sample_;
  unsigned channels_;
  // Interleaved samples of the frame in progress; one write position per channel.
  std::vector<int16_t> pcm_;
  std::vector<float> floats_;
  size_t position_[2] = {0, 1};
  bool stopped_ = false;
  bool finished_ = false;
  uint64_t written_ = 0;
};

}  // namespace vemla
