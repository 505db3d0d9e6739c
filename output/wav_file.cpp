#include "wav_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vemla {
namespace {

void put16(uint8_t*& p, uint32_t v) {
  *p++ = static_cast<uint8_t>(v);
  *p++ = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t*& p, uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p, v >> 16);
}

}  // namespace

WavFile::WavFile(const std::string& path, unsigned channels, unsigned frequency, Sample sample, bool raw)
    : output_(path), file_(output_.stream()), raw_(raw), channels_(channels), frequency_(frequency), sample_(sample) {
  // Sizes unknown until the end; a file that cannot be rewound keeps the "as long as it goes" marks.
  if (!raw_) write_header(0xFFFFFFFFu);
}

WavFile::~WavFile() { finish(); }

void WavFile::note_failure() {
  if (ok_) error_ = std::strerror(errno ? errno : EIO);
  ok_ = false;
}

void WavFile::write_header(uint64_t data_bytes) {
  const bool is_float = sample_ == Sample::Float32;
  const uint32_t bytes = is_float ? 4 : 2;
  const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(data_bytes, 0xFFFFFFFFu));
  const uint32_t fmt_size = is_float ? 18 : 16;
  const uint32_t fact_size = is_float ? 12 : 0;
  uint8_t header[58];
  uint8_t* p = header;
  std::memcpy(p, "RIFF", 4), p += 4;
  put32(p, data == 0xFFFFFFFFu ? data : 4 + 8 + fmt_size + fact_size + 8 + data);
  std::memcpy(p, "WAVEfmt ", 8), p += 8;
  put32(p, fmt_size);
  put16(p, is_float ? 3 : 1);  // WAVE_FORMAT_IEEE_FLOAT or WAVE_FORMAT_PCM
  put16(p, channels_);
  put32(p, frequency_);
  put32(p, frequency_ * channels_ * bytes);
  put16(p, channels_ * bytes);
  put16(p, bytes * 8);
  if (is_float) {
    put16(p, 0);  // no extension
    std::memcpy(p, "fact", 4), p += 4;
    put32(p, 4);
    put32(p, data == 0xFFFFFFFFu ? data : data / (channels_ * bytes));
  }
  std::memcpy(p, "data", 4), p += 4;
  put32(p, data);
  errno = 0;
  if (std::fwrite(header, 1, static_cast<size_t>(p - header), file_) != static_cast<size_t>(p - header))
    note_failure();
}

bool WavFile::write(const void* samples, size_t count) {
  if (!file_) return false;
  const size_t size = count * (sample_ == Sample::Float32 ? 4 : 2);
  errno = 0;
  if (std::fwrite(samples, 1, size, file_) != size) note_failure();
  data_bytes_ += size;
  return ok_;
}

bool WavFile::finish() {
  if (!file_) return ok_;
  errno = 0;
  if (std::fflush(file_) != 0) note_failure();
  if (!raw_ && ok_ && std::fseek(file_, 0, SEEK_SET) == 0) {
    write_header(data_bytes_);
    if (std::fflush(file_) != 0) note_failure();
  }
  file_ = nullptr;
  if (!ok_) {
    output_.discard();
    return false;
  }
  if (!output_.commit()) {
    ok_ = false;
    error_ = output_.error();
  }
  return ok_;
}

void WavFile::discard() {
  file_ = nullptr;
  output_.discard();
}

}  // namespace vemla
