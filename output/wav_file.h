// A WAV (RIFF) file being written: 16-bit PCM or 32-bit float samples, interleaved.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vemla {

class WavFile {
 public:
  enum class Sample { Int16, Float32 };

  // Opens `path` ("-" for standard output) and writes a header (unless `raw`). Throws std::runtime_error
  // with the reason when the file cannot be created.
  WavFile(const std::string& path, unsigned channels, unsigned frequency, Sample sample, bool raw = false);
  // Finishes the file (see finish()).
  ~WavFile();
  WavFile(const WavFile&) = delete;
  WavFile& operator=(const WavFile&) = delete;

  // Appends interleaved samples (`count` values, not sample frames). False when the write failed.
  bool write(const void* samples, size_t count);
  // Fills in the sizes in the header where the file can be rewound and closes it. False when anything
  // written was lost.
  bool finish();

  uint64_t data_bytes() const { return data_bytes_; }

 private:
  void write_header(uint64_t data_bytes);

  std::FILE* file_ = nullptr;
  bool owns_file_ = false;
  bool raw_;
  bool ok_ = true;
  unsigned channels_;
  unsigned frequency_;
  Sample sample_;
  uint64_t data_bytes_ = 0;
};

}  // namespace vemla
