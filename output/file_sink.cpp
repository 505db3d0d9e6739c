#include "file_sink.h"

#include <algorithm>
#include <bit>

namespace vemla {
namespace {

static_assert(std::endian::native == std::endian::little, "WAV samples are written in memory order");

// Room for one frame of the largest kind (1152 samples a channel) several times over; a frame that does
// not fit is written out in parts.
constexpr size_t kFramesOfRoom = 4 * 1152;

}  // namespace

FileSink::FileSink(const std::string& path, Format format, WavFile::Sample sample, unsigned channels,
                   unsigned frequency)
    : file_(path, channels, frequency, sample, format == Format::Raw), sample_(sample), channels_(channels) {
  position_[1] = channels_ > 1 ? 1 : 0;
  if (sample_ == WavFile::Sample::Float32)
    floats_.assign(kFramesOfRoom * channels_, 0.0f);
  else
    pcm_.assign(kFramesOfRoom * channels_, 0);
}

FileSink::~FileSink() { finish(); }

template <typename T>
void FileSink::put(std::vector<T>& buffer, int channel, const T* samples, int count) {
  const unsigned c = channel == 1 && channels_ > 1 ? 1 : 0;
  for (int i = 0; i < count; ++i) {
    if (position_[c] >= buffer.size()) flush();
    buffer[position_[c]] = samples[i];
    position_[c] += channels_;
  }
}

void FileSink::put_sample(int channel, int16_t sample) { put(pcm_, channel, &sample, 1); }

void FileSink::put_samples(int channel, const int16_t* samples, int count) { put(pcm_, channel, samples, count); }

void FileSink::put_float_samples(int channel, const float* samples, int count) {
  put(floats_, channel, samples, count);
}

void FileSink::flush() {
  // Whole sample frames as far as the furthest channel got; a channel that fell short is padded with
  // silence.
  const size_t end = std::max(position_[0], channels_ > 1 ? position_[1] - 1 : 0);
  const size_t frames = (end + channels_ - 1) / channels_;
  const size_t values = frames * channels_;
  if (values) {
    if (sample_ == WavFile::Sample::Float32) {
      file_.write(floats_.data(), values);
      std::fill_n(floats_.begin(), values, 0.0f);
    } else {
      file_.write(pcm_.data(), values);
      std::fill_n(pcm_.begin(), values, int16_t{0});
    }
    written_ += values;
  }
  position_[0] = 0;
  position_[1] = channels_ > 1 ? 1 : 0;
}

void FileSink::end_frame(int) { flush(); }

void FileSink::clear() {
  std::fill(pcm_.begin(), pcm_.end(), int16_t{0});
  std::fill(floats_.begin(), floats_.end(), 0.0f);
  position_[0] = 0;
  position_[1] = channels_ > 1 ? 1 : 0;
}

bool FileSink::finish() {
  if (finished_) return true;
  finished_ = true;
  if (!stopped_) flush();
  return file_.finish();
}

void FileSink::discard() {
  finished_ = true;
  file_.discard();
}

}  // namespace vemla
