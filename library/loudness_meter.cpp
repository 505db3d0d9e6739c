#include "loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "bitstream.h"
#include "frame_decoder.h"
#include "header.h"
#include "notifier.h"

namespace vemla {

namespace {

// Frames decoded between two looks at the clock.
constexpr int kFramesPerLook = 8;

// Takes the synthesis filters' samples before the 16-bit conversion and hands them to the meter interleaved,
// a frame at a time.
class MeterTap final : public Obuffer {
 public:
  MeterTap(ebur128_state* state, unsigned channels) : state_(state), channels_(channels) {}

  void put_sample(int channel, int16_t sample) override {
    const float value = static_cast<float>(sample) / 32768.0f;
    put_float_samples(channel, &value, 1);
  }
  bool wants_float() const override { return true; }
  void put_float_samples(int channel, const float* samples, int count) override {
    if (channel < 0 || static_cast<unsigned>(channel) >= channels_) return;
    std::vector<float>& out = pending_[channel];
    out.insert(out.end(), samples, samples + count);
  }
  void end_frame(int) override {
    ++frames;
    size_t count = pending_[0].size();
    if (channels_ == 2) count = std::min(count, pending_[1].size());
    interleaved_.resize(count * channels_);
    for (size_t i = 0; i < count; ++i) {
      for (unsigned c = 0; c < channels_; ++c) interleaved_[i * channels_ + c] = pending_[c][i];
    }
    if (count > 0) ebur128_add_frames_float(state_, interleaved_.data(), count);
    samples += count;
    for (unsigned c = 0; c < channels_; ++c) pending_[c].erase(pending_[c].begin(), pending_[c].begin() + count);
  }
  void clear() override {
    pending_[0].clear();
    pending_[1].clear();
  }
  void request_stop() override {}

  uint64_t frames = 0;
  uint64_t samples = 0;  // per channel

 private:
  ebur128_state* state_;
  unsigned channels_;
  std::vector<float> pending_[2];
  std::vector<float> interleaved_;
};

}  // namespace

struct LoudnessMeter::State {
  ebur128_state* meter = nullptr;
  ~State() {
    if (meter) ebur128_destroy(&meter);
  }
};

struct LoudnessMeter::Decoding {
  explicit Decoding(const std::filesystem::path& file) : stream(file.string()) {}
  Ibitstream stream;
  Header header;
  Crc16* crc = nullptr;
  std::unique_ptr<MeterTap> tap;
  std::unique_ptr<FrameDecoder> decoder;
  unsigned frequency = 0;
};

std::optional<double> gain_for_loudness(double lufs) {
  if (!std::isfinite(lufs)) return std::nullopt;
  return sane_gain(kReferenceLoudness - lufs);
}

LoudnessMeter::LoudnessMeter(const std::filesystem::path& file, Peak peak) : peak_kind_(peak) {
  // What the decoder would say about the file becomes the reason it cannot be measured.
  FirstMessage message;
  ThreadNotifierScope scope(message);
  decoding_ = std::make_unique<Decoding>(file);
  Decoding& d = *decoding_;
  if (!d.stream.is_open() || !d.header.read_frame_header(d.stream, d.crc)) {
    failed_ = message.empty() ? "no MPEG audio frame header found" : message.text;
    done_ = true;
    decoding_.reset();
    return;
  }
  const unsigned channels = FrameDecoder::output_channels(d.header, ChoiceStereo);
  d.frequency = d.header.frequency();
  const int mode = EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM |
                   (peak == Peak::True ? EBUR128_MODE_TRUE_PEAK : EBUR128_MODE_SAMPLE_PEAK);
  state_ = std::make_unique<State>();
  state_->meter = ebur128_init(channels, d.frequency, mode);
  if (!state_->meter) {
    failed_ = "the loudness meter could not be set up";
    done_ = true;
    decoding_.reset();
    return;
  }
  // A single channel is heard from both speakers, as loud as the same signal in two channels.
  if (channels == 1) ebur128_set_channel(state_->meter, 0, EBUR128_DUAL_MONO);
  d.tap = std::make_unique<MeterTap>(state_->meter, channels);
  d.decoder = std::make_unique<FrameDecoder>(d.stream, d.header, *d.tap, ChoiceStereo);
  if (!d.decoder->seek(0)) {
    failed_ = "cannot position at the first frame";
    done_ = true;
    decoding_.reset();
    return;
  }
  d.crc = d.header.frame_crc();
}

LoudnessMeter::~LoudnessMeter() {
  decoding_.reset();
}

bool LoudnessMeter::measure(std::chrono::steady_clock::time_point deadline) {
  if (done_) return true;
  FirstMessage message;
  ThreadNotifierScope scope(message);
  Decoding& d = *decoding_;
  bool more = true;
  for (int n = 1; more; ++n) {
    d.decoder->decode_frame(d.crc);
    more = d.header.read_frame_header(d.stream, d.crc);
    if (n % kFramesPerLook == 0 && std::chrono::steady_clock::now() >= deadline) break;
  }
  if (more) return false;
  done_ = true;
  if (d.tap->frames == 0) failed_ = "no audio frame could be decoded";
  seconds_measured_ = d.frequency ? static_cast<double>(d.tap->samples) / d.frequency : 0;
  decoding_.reset();  // the file is closed once measured
  return true;
}

void LoudnessMeter::measure_all() {
  while (!measure(std::chrono::steady_clock::time_point::max())) {
  }
}

double LoudnessMeter::loudness() const {
  double lufs = -std::numeric_limits<double>::infinity();
  if (state_ && state_->meter && failed_.empty()) ebur128_loudness_global(state_->meter, &lufs);
  return lufs;
}

double LoudnessMeter::peak() const {
  if (!state_ || !state_->meter || !failed_.empty()) return 0;
  double peak = 0;
  for (unsigned c = 0; c < state_->meter->channels; ++c) {
    double value = 0;
    if (peak_kind_ == Peak::True) {
      ebur128_true_peak(state_->meter, c, &value);
    } else {
      ebur128_sample_peak(state_->meter, c, &value);
    }
    peak = std::max(peak, value);
  }
  return peak;
}

double LoudnessMeter::seconds() const {
  if (decoding_ && decoding_->tap && decoding_->frequency)
    return static_cast<double>(decoding_->tap->samples) / decoding_->frequency;
  return seconds_measured_;
}

double LoudnessMeter::loudness_of(const std::vector<const LoudnessMeter*>& meters) {
  std::vector<ebur128_state*> states;
  for (const LoudnessMeter* meter : meters) {
    if (meter->state_ && meter->state_->meter && meter->failed_.empty() && meter->done_)
      states.push_back(meter->state_->meter);
  }
  double lufs = -std::numeric_limits<double>::infinity();
  if (!states.empty()) ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
  return lufs;
}

}  // namespace vemla
