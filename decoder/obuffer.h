// The sink of decoded PCM. The synthesis filters hand it samples of one channel at a time; the decode loop
// tells it when a frame is complete, when a seek drops what is buffered and when the user stopped.
#pragma once

#include <cstdint>

namespace vemla {

class Obuffer {
 public:
  // Finishes the output: plays out or writes what is buffered, unless request_stop() was called.
  virtual ~Obuffer() = default;
  // Appends one sample to channel 0 or 1; each implementation interleaves the channels itself.
  virtual void put_sample(int channel, int16_t sample) = 0;
  // One frame's samples are complete (the decode loop passes 1).
  virtual void end_frame(int descriptor) = 0;
  // Drops buffered and queued audio (after a seek).
  virtual void clear() = 0;
  // The user stopped: the destructor must not wait for queued audio.
  virtual void request_stop() = 0;

  // `count` consecutive samples of one channel, as one synthesis pass makes them. Means the same as
  // `count` calls of put_sample; sinks that move whole blocks override it.
  virtual void put_samples(int channel, const int16_t* samples, int count) {
    for (int i = 0; i < count; ++i) put_sample(channel, samples[i]);
  }
  // A sink that measures the decoder's own precision takes the samples before the 16-bit conversion
  // instead: unclipped, full scale +-1.0, through put_float_samples.
  virtual bool wants_float() const { return false; }
  virtual void put_float_samples(int channel, const float* samples, int count) {
    (void)channel, (void)samples, (void)count;
  }
};

}  // namespace vemla
