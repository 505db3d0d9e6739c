// The stage between the decoder and the sink that gives exactly the encoder's input of one stream: it drops
// the samples before it (the encoder's and the decoder's delays) and the encoder's padding after it. The end
// is found where the stream really ends, not by the announced frame count: the last frame is held back until
// the next one comes or the stream ends. A stream without such figures passes straight through.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "gapless_info.h"
#include "obuffer.h"

namespace vemla {

class Ibitstream;

class TrimmedOutput final : public Obuffer {
 public:
  // `stream` tells which frame the samples belong to (its current frame while the frame decodes).
  TrimmedOutput(Obuffer& sink, const Ibitstream& stream, const GaplessInfo& info);

  void put_sample(int channel, int16_t sample) override { put_samples(channel, &sample, 1); }
  void put_samples(int channel, const int16_t* samples, int count) override;
  bool wants_float() const override { return sink_.wants_float(); }
  void put_float_samples(int channel, const float* samples, int count) override;
  void end_frame(int descriptor) override;
  // Drops what is held and clears the sink.
  void clear() override;
  void request_stop() override { sink_.request_stop(); }

  // While muted, frames leave no trace in the sink (the frames a seek decodes to fill the decoder's history).
  void set_muted(bool muted) { muted_ = muted; }
  // Sends the frame held back: without the padding when the stream has ended, whole when decoding stops
  // before the end (a stop signal).
  void finish(bool at_end);
  // Whether samples are dropped at all.
  bool trims() const { return info_.known(); }

 private:
  // The samples of one channel of a frame. The storage grows to the largest frame once and is kept, so
  // that taking a block is a bare copy.
  template <typename T>
  class Samples {
   public:
    void append(const T* samples, size_t count) {
      if (count == 0) return;
      if (size_ + count > store_.size()) store_.resize(std::max(size_ + count, 2 * store_.size()));
      std::memcpy(store_.data() + size_, samples, count * sizeof(T));
      size_ += count;
    }
    void drop_last(size_t count) { size_ -= std::min(count, size_); }
    void clear() { size_ = 0; }
    void swap(Samples& other) {
      store_.swap(other.store_);
      std::swap(size_, other.size_);
    }
    const T* data() const { return store_.data(); }
    int size() const { return static_cast<int>(size_); }

   private:
    std::vector<T> store_;
    size_t size_ = 0;
  };

  template <typename T>
  struct Frames {
    Samples<T> current[2];
    Samples<T> held[2];
  };

  template <typename T>
  void take(Frames<T>& frames, int channel, const T* samples, int count);
  template <typename T>
  void send(Frames<T>& frames, uint32_t drop);
  void send_held(uint32_t drop);
  void forward(int channel, const Samples<int16_t>& samples) {
    sink_.put_samples(channel, samples.data(), samples.size());
  }
  void forward(int channel, const Samples<float>& samples) {
    sink_.put_float_samples(channel, samples.data(), samples.size());
  }

  Obuffer& sink_;
  const Ibitstream& stream_;
  const GaplessInfo info_;
  bool muted_ = false;
  bool frame_open_ = false;     // a sample of the current frame came
  uint64_t frame_start_ = 0;    // the current frame's first sample, counted from the first audio frame's
  uint64_t taken_[2] = {0, 0};  // samples of each channel of the current frame so far
  bool holding_ = false;        // a whole frame is held back
  Frames<int16_t> pcm_;
  Frames<float> floats_;
};

}  // namespace vemla
