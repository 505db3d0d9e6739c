// The polyphase synthesis filterbank of ISO/IEC 11172-3 (2.4.3.2, Annex A): 32 subband samples of one channel
// in, 32 PCM samples out.
#pragma once

#include <cstdint>

#include "obuffer.h"
#include "synthesis_kernels.h"

namespace vemla {

class SynthesisFilter {
 public:
  // `channel` is the output channel the samples go to; `scale_factor` turns full scale into PCM (32768).
  SynthesisFilter(int channel, float scale_factor);

  void put_subband_sample(float value, unsigned subband) { inputs_[subband & 31] = value; }
  void put_subband_samples(const float* values);
  // Turns the 32 inputs into 32 samples of this filter's channel in `output`, then clears the inputs.
  void synthesize_block(Obuffer& output);
  // The same for 32 subband samples given directly; the inputs set by put_subband_sample stay as they are.
  void synthesize_block(const float* samples, Obuffer& output);
  // a.synthesize_block(a_samples, output), then b.synthesize_block(b_samples, output): the two channels of a
  // time slot.
  static void synthesize_blocks(SynthesisFilter& a, const float* a_samples, SynthesisFilter& b,
                                const float* b_samples, Obuffer& output);
  // synthesize_block for each of `count` time slots in turn (slots[k] the 32 samples of slot k), the
  // samples handed to `output` a batch at a time: the matrixing of eight blocks costs what one costs alone,
  // so decoders hand over whole frames or granules.
  void synthesize_slots(const float (*slots)[32], int count, Obuffer& output);
  // The two channels of `count` time slots: for each slot a's block, then b's, as synthesize_blocks.
  static void synthesize_slots(SynthesisFilter& a, const float (*a_slots)[32], SynthesisFilter& b,
                               const float (*b_slots)[32], int count, Obuffer& output);
  // Forgets the history (after a seek).
  void reset();
  // The PCM scale from the next block on: how a run's gain (ReplayGain, volume) reaches the samples before
  // the 16-bit conversion, at no cost of its own.
  void set_scale_factor(float scale_factor) { scale_ = scale_factor; }

  int channel() const { return channel_; }

 private:
  // Blocks matrixed at once by synthesize_slots, per channel.
  static constexpr int kBatch = 36;
  // A batch's output of one channel.
  union Samples {
    int16_t pcm[kBatch][32];
    float values[kBatch][32];
  };
  // `count` blocks' samples from their values made by matrix_rows: into `out.pcm` or, for a sink that takes
  // them before the 16-bit conversion, into `out.values`.
  void window_blocks(const float (*current)[16], const float (*other)[16], const float* odd16, int count,
                     bool floats, Samples& out);
  // Hands `blocks` blocks of this channel's output to the sink: `pcm`, or `values` for a sink of floats.
  void put(const int16_t* pcm, const float* values, int blocks, bool floats, Obuffer& output) const;

  SynthesisHistory history_;
  alignas(32) float inputs_[32];
  const SynthesisKernels& kernels_;
  const SynthesisTables& tables_;
  int channel_;
  float scale_;
};

// The PCM conversion: clipped to 16 bits and truncated toward zero (a value that is not a number, which only
// damaged input can make, gives silence).
inline int16_t to_pcm16(float value) {
  if (value > 32767.0f) return 32767;
  if (value >= -32768.0f) return static_cast<int16_t>(value);
  return value < -32768.0f ? -32768 : 0;
}

}  // namespace vemla
