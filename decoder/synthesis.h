// The polyphase synthesis filterbank of ISO/IEC 11172-3 (2.4.3.2, Annex A): 32 subband samples of one channel
// in, 32 PCM samples out.
#pragma once

#include <cstdint>

#include "obuffer.h"

namespace vemla {

struct SynthesisKernels;
struct SynthesisTables;

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
  // Puts a block's values made by matrix_rows into its columns.
  void take_v(const float* current, const float* other, float odd16);
  void advance();
  // Blocks matrixed at once by synthesize_slots, per channel.
  static constexpr int kBatch = 36;
  // A batch's output of one channel.
  union Samples {
    int16_t pcm[kBatch][32];
    float values[kBatch][32];
  };
  void window_block(const float* current, const float* other, float odd16, bool floats, int16_t* pcm,
                    float* values);
  // Hands `blocks` blocks of this channel's output to the sink: `pcm`, or `values` for a sink of floats.
  void put(const int16_t* pcm, const float* values, int blocks, bool floats, Obuffer& output) const;

  // The standard's 1024-value V shift register as two buffers of 16 columns, written one column per block in
  // a circle, so that nothing is ever shifted. The current buffer's column (write column - m) mod 16 holds what
  // the sums need of the block m steps back: its `even` values for even m, its `odd` values (and in `edge_`
  // its odd16 value) for odd m (see synthesis_kernels.h). Columns 16..31 repeat 0..15, so that the 16
  // columns from any one on lie in a row.
  alignas(32) float v_[2][32][16];
  alignas(32) float edge_[2][16];
  alignas(32) float inputs_[32];
  const SynthesisKernels& kernels_;
  const SynthesisTables& tables_;
  int current_ = 0;
  int write_column_ = 15;
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
