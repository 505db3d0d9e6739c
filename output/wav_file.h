// A WAV (RIFF) file being written: 16-bit PCM or 32-bit float samples, interleaved. It is written under a
// temporary name and takes its own name only once complete (see OutputFile).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "output_file.h"

namespace vemla {

class WavFile {
 public:
  enum class Sample { Int16, Float32 };

  // Opens `path` ("-" for standard output) and writes a header (unless `raw`). Throws std::runtime_error
  // with the reason when the file cannot be created.
  WavFile(const std::string& path, unsigned channels, unsigned frequency, Sample sample, bool raw = false);
  // Finishes the file (see finish()) unless it was discarded.
  ~WavFile();
  WavFile(const WavFile&) = delete;
  WavFile& operator=(const WavFile&) = delete;

  // Appends interleaved samples (`count` values, not sample frames). False when the write failed.
  bool write(const void* samples, size_t count);
  // Fills in the sizes in the header where the file can be rewound, closes it and gives it its name. False
  // when anything written was lost: the file is then removed and an earlier file of that name stays.
  bool finish();
  // Closes and removes the file; an earlier file of that name stays as it was.
  void discard();

  uint64_t data_bytes() const { return data_bytes_; }
  // The system's reason for the first failed write, or empty.
  const std::string& error() const { return error_; }

 private:
  void write_header(uint64_t data_bytes);
  void note_failure();

  OutputFile output_;
  std::FILE* file_ = nullptr;
  bool raw_;
  bool ok_ = true;
  std::string error_;
  unsigned channels_;
  unsigned frequency_;
  Sample sample_;
  uint64_t data_bytes_ = 0;
};

}  // namespace vemla
