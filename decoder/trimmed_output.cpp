#include "trimmed_output.h"

#include <algorithm>

#include "bitstream.h"

namespace vemla {

TrimmedOutput::TrimmedOutput(Obuffer& sink, const Ibitstream& stream, const GaplessInfo& info)
    : sink_(sink), stream_(stream), info_(info) {}

template <typename T>
void TrimmedOutput::take(Frames<T>& frames, int channel, const T* samples, int count) {
  const unsigned c = channel == 1 ? 1 : 0;
  if (!frame_open_) {
    frame_open_ = true;
    const int64_t frame = int64_t{stream_.current_frame()} - info_.first_audio_frame;
    frame_start_ = frame > 0 ? static_cast<uint64_t>(frame) * info_.frame_samples : 0;
  }
  const uint64_t at = frame_start_ + taken_[c];
  const uint64_t n = count > 0 ? static_cast<uint64_t>(count) : 0;
  taken_[c] += n;
  if (muted_) return;
  const uint64_t first = info_.first_sample();
  const uint64_t skip = first > at ? std::min(n, first - at) : 0;
  frames.current[c].append(samples + skip, static_cast<size_t>(n - skip));
}

void TrimmedOutput::put_samples(int channel, const int16_t* samples, int count) {
  if (!trims() && !muted_) return sink_.put_samples(channel, samples, count);
  take(pcm_, channel, samples, count);
}

void TrimmedOutput::put_float_samples(int channel, const float* samples, int count) {
  if (!trims() && !muted_) return sink_.put_float_samples(channel, samples, count);
  take(floats_, channel, samples, count);
}

void TrimmedOutput::end_frame(int descriptor) {
  frame_open_ = false;
  taken_[0] = taken_[1] = 0;
  if (muted_) return;
  if (!trims()) return sink_.end_frame(descriptor);
  send_held(0);
  for (unsigned c = 0; c < 2; ++c) {
    pcm_.held[c].swap(pcm_.current[c]);
    pcm_.current[c].clear();
    floats_.held[c].swap(floats_.current[c]);
    floats_.current[c].clear();
  }
  holding_ = true;
}

template <typename T>
void TrimmedOutput::send(Frames<T>& frames, uint32_t drop) {
  for (int c = 0; c < 2; ++c) {
    Samples<T>& held = frames.held[c];
    held.drop_last(drop);
    if (held.size() > 0) forward(c, held);
    held.clear();
  }
}

void TrimmedOutput::send_held(uint32_t drop) {
  if (!holding_) return;
  holding_ = false;
  send(pcm_, drop);
  send(floats_, drop);
  sink_.end_frame(1);
}

void TrimmedOutput::finish(bool at_end) {
  send_held(at_end ? info_.tail() : 0);
}

void TrimmedOutput::clear() {
  holding_ = false;
  frame_open_ = false;
  taken_[0] = taken_[1] = 0;
  for (unsigned c = 0; c < 2; ++c) {
    pcm_.current[c].clear();
    pcm_.held[c].clear();
    floats_.current[c].clear();
    floats_.held[c].clear();
  }
  sink_.clear();
}

}  // namespace vemla
