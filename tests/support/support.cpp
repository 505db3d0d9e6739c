#include "support.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <stdexcept>

#include "bitstream.h"
#include "frame_decoder.h"
#include "stream_decoder.h"

namespace vemla::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("vemla-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path conformance_dir() {
  if (const char* env = std::getenv("VEMLA_CONFORMANCE"); env && *env) return fs::is_directory(env) ? fs::path(env) : fs::path();
  const fs::path configured = VEMLA_CONFORMANCE_DIR;
  return fs::is_directory(configured) ? configured : fs::path();
}

std::vector<uint8_t> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return status == -1 ? -1 : WEXITSTATUS(status);
}

bool have_program(const std::string& name) { return run("command -v " + name + " >/dev/null 2>&1") == 0; }

template <typename T>
void MemorySink::put(std::vector<T>& out, int channel, T value) {
  const unsigned c = channel == 1 && channels_ > 1 ? 1 : 0;
  const size_t index = written_[c]++ * channels_ + c;
  if (out.size() <= index) out.resize(index + channels_ - c);
  out[index] = value;
}

void MemorySink::put_sample(int channel, int16_t sample) { put(pcm, channel, sample); }

void MemorySink::put_float_samples(int channel, const float* samples, int count) {
  for (int i = 0; i < count; ++i) put(floats, channel, samples[i]);
}

void MemorySink::end_frame(int) {
  frame_ends.push_back(std::max(written_[0], written_[1]));
  // A channel that fell short is padded, so that the channels stay aligned.
  written_[0] = written_[1] = std::max(written_[0], written_[1]);
  const size_t size = written_[0] * channels_;
  if (floats_) floats.resize(size); else pcm.resize(size);
}

void MemorySink::clear() {
  ++clears;
  pcm.clear();
  floats.clear();
  written_[0] = written_[1] = 0;
}

Decoded decode_file(const fs::path& path, ChannelChoice choice, bool floats, bool gapless) {
  Decoded result;
  Ibitstream stream(path.string());
  Header header;
  Crc16* crc = nullptr;
  if (!header.read_frame_header(stream, crc)) return result;
  result.opened = true;
  result.channels = FrameDecoder::output_channels(header, choice);
  result.frequency = header.frequency();
  MemorySink sink(result.channels, floats);
  if (gapless) {
    StreamDecoder decoder(stream, header, sink, choice, true);
    if (decoder.seek(0)) {
      crc = header.frame_crc();
      do decoder.decode_frame(crc);
      while (header.read_frame_header(stream, crc));
      decoder.finish(true);
    }
  } else {
    FrameDecoder decoder(stream, header, sink, choice);
    decoder.decode_all();
  }
  result.pcm = std::move(sink.pcm);
  result.floats = std::move(sink.floats);
  result.frames = sink.frame_ends.size();
  return result;
}

std::vector<double> as_steps(const std::vector<int16_t>& pcm) { return {pcm.begin(), pcm.end()}; }

std::vector<double> rounded_steps(const std::vector<float>& samples) {
  std::vector<double> steps(samples.size());
  for (size_t i = 0; i < samples.size(); ++i)
    steps[i] = std::clamp(std::nearbyint(static_cast<double>(samples[i]) * 32768.0), -32768.0, 32767.0);
  return steps;
}

Comparison compare_aligned(const std::vector<double>& ours, const std::vector<int16_t>& reference, unsigned channels,
                           long max_offset_frames) {
  const auto range = [&](long offset, size_t& begin, size_t& end) {
    const long shift = offset * static_cast<long>(channels);
    begin = static_cast<size_t>(std::max(0L, -shift));
    const long last = std::min(static_cast<long>(ours.size()), static_cast<long>(reference.size()) - shift);
    end = last > static_cast<long>(begin) ? static_cast<size_t>(last) : begin;
  };
  // Pick the offset by the mean absolute difference over a sample of the overlap.
  long best_offset = 0;
  double best = std::numeric_limits<double>::infinity();
  for (long offset = -max_offset_frames; offset <= max_offset_frames; ++offset) {
    size_t begin, end;
    range(offset, begin, end);
    if (end - begin < std::min<size_t>(64, ours.size())) continue;
    const size_t step = std::max<size_t>(1, (end - begin) / 4096);
    double sum = 0;
    size_t n = 0;
    for (size_t i = begin; i < end; i += step, ++n)
      sum += std::abs(ours[i] - reference[i + offset * static_cast<long>(channels)]);
    if (n && sum / n < best) best = sum / n, best_offset = offset;
  }
  Comparison c;
  c.offset = best_offset;
  size_t begin, end;
  range(best_offset, begin, end);
  double squares = 0;
  for (size_t i = begin; i < end; ++i) {
    const double d = ours[i] - reference[i + best_offset * static_cast<long>(channels)];
    c.max_difference = std::max(c.max_difference, std::abs(d));
    squares += d * d;
  }
  c.compared = end - begin;
  const double mean = c.compared ? squares / c.compared : 0;
  c.rms = std::sqrt(mean);
  c.psnr = mean > 0 ? 10 * std::log10(32767.0 * 32767.0 / mean) : std::numeric_limits<double>::infinity();
  return c;
}

}  // namespace vemla::test
