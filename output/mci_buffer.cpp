#include "mci_buffer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <thread>

#include "notifier.h"

namespace vemla {
namespace {

static_assert(std::endian::native == std::endian::little,
              "blocks hold little-endian samples in memory order");

// How long one look at a busy device waits before the run's stop and pause requests are looked at again.
constexpr std::chrono::milliseconds kPoll{20};

}  // namespace

size_t MCIbuffer::block_size(unsigned frame_samples, unsigned channels) {
  return size_t{kFramesPerBlock} * frame_samples * channels * 2;
}

MCIbuffer::MCIbuffer(const PcmFormat& format, unsigned frame_samples, SoundDevice& device,
                     WaitControl& control)
    : device_(device),
      control_(control),
      channels_(format.channels == 2 ? 2 : 1),
      frame_samples_(frame_samples) {
  std::string reason;
  if (frame_samples_ == 0 || !device_.open(PcmFormat{channels_, format.frequency}, reason)) {
    // The fixed sentence first; the device's own reason says what to put right.
    std::string text = "Could not open the sound device.";
    if (!reason.empty()) text += "\n\n" + reason + ".";
    notifier().notify("Audio playback error", text, MessageIcon::Error);
    return;
  }
  block_samples_ = block_size(frame_samples_, channels_) / 2;
  for (Slot& slot : storage_) {
    slot.samples.reset(new (std::nothrow) int16_t[block_samples_]());
    if (!slot.samples) {
      device_.close();
      notifier().notify("Audio playback error", "Not enough memory for the sound blocks.",
                        MessageIcon::Error);
      return;
    }
    slot.block.data = reinterpret_cast<const uint8_t*>(slot.samples.get());
    slot.block.length = block_samples_ * 2;
  }
  opened_ = true;
  restart_positions();
}

MCIbuffer::~MCIbuffer() {
  if (!opened_) return;
  if (stop_ || check_device()) {
    device_.reset();
  } else {
    queue_the_rest(true);
  }
  bool told_to_stop = stop_ || failed_;
  for (int i = 2; i >= 0 && !told_to_stop; --i)
    if (slots_[i]->block.user && !wait_for(*slots_[i])) told_to_stop = true;
  // A stop that came while the queued audio played out drops the rest, so that no block is in use below.
  if (told_to_stop && !stop_) device_.reset();

  while (!device_.close()) {
    if (stopping()) {
      device_.reset();
      device_.close();
      told_to_stop = true;
      break;
    }
    control_.pause_point();
    device_.wait(nullptr, kPoll);
  }
  if (!told_to_stop) std::this_thread::sleep_for(kPoll);  // as after closing a wave device
}

size_t MCIbuffer::frames_in_block() const {
  size_t frames = 0;
  for (unsigned c = 0; c < channels_; ++c) frames = std::max(frames, (position_[c] - c) / channels_);
  return std::min(frames * channels_, block_samples_) / channels_;
}

void MCIbuffer::queue_the_rest(bool pad) {
  if (blocks_started_ == 1) queue(*slots_[0]);  // the one full block not yet queued
  const size_t frames = frames_in_block();
  if ((frames_in_block_ != 0 || position_[0] != 0) && (pad || frames != 0)) {
    // The last block, silent after the samples written so far, played with its full length or up to the
    // last sample.
    const size_t end = pad ? block_samples_ : frames * channels_;
    int16_t* samples = slots_[2]->samples.get();
    for (unsigned c = 0; c < channels_; ++c)
      for (size_t i = position_[c]; i < end; i += channels_) samples[i] = 0;
    slots_[2]->block.length = end * 2;
    queue(*slots_[2]);
    rotate();
  }
  // Nothing is left to queue: the destructor or a later block does not queue these again.
  if (blocks_started_ == 1) blocks_started_ = 2;
  frames_in_block_ = 0;
  restart_positions();
}

bool MCIbuffer::play_out(bool pad_last_block) {
  if (!opened_) return true;
  if (stopping()) return false;
  queue_the_rest(pad_last_block);
  for (int i = 2; i >= 0; --i)
    if (slots_[i]->block.user && !wait_for(*slots_[i])) return false;
  return true;
}

void MCIbuffer::restart_positions() {
  // Channel c starts at value c: the samples of a stereo block interleave left, right.
  position_[0] = 0;
  position_[1] = channels_ > 1 ? 1 : 0;
}

bool MCIbuffer::room_for(unsigned c) {
  if (position_[c] < block_samples_) return true;
  for (unsigned other = 0; other < channels_; ++other)
    if (position_[other] < block_samples_) return false;  // a channel ran ahead of the other: drop
  complete_block();
  return true;
}

bool MCIbuffer::check_device() {
  if (failed_ || !device_.failed()) return failed_;
  failed_ = true;
  std::string text = "The sound device stopped playing.";
  if (const std::string reason = device_.last_error(); !reason.empty()) text += "\n\n" + reason + ".";
  notifier().notify("Audio playback error", text, MessageIcon::Error);
  return true;
}

void MCIbuffer::put_sample(int channel, int16_t sample) {
  if (!opened_ || channel < 0 || static_cast<unsigned>(channel) >= channels_) return;
  const unsigned c = static_cast<unsigned>(channel);
  if (!room_for(c)) return;
  slots_[2]->samples[position_[c]] = sample;
  position_[c] += channels_;
}

void MCIbuffer::put_samples(int channel, const int16_t* samples, int count) {
  if (!opened_ || channel < 0 || static_cast<unsigned>(channel) >= channels_) return;
  const unsigned c = static_cast<unsigned>(channel);
  size_t left = count > 0 ? static_cast<size_t>(count) : 0;
  while (left > 0) {
    if (!room_for(c)) return;
    int16_t* out = slots_[2]->samples.get();
    size_t position = position_[c];
    const size_t n = std::min(left, (block_samples_ - position + channels_ - 1) / channels_);
    if (channels_ == 1) {
      std::memcpy(out + position, samples, n * sizeof(int16_t));
      position += n;
    } else {
      for (size_t i = 0; i < n; ++i, position += 2) out[position] = samples[i];
    }
    position_[c] = position;
    samples += n;
    left -= n;
  }
}

void MCIbuffer::end_frame(int) {
  if (!opened_) return;
  if (++frames_in_block_ < kFramesPerBlock) return;
  complete_block();
}

void MCIbuffer::queue(Slot& slot) {
  slot.block.user = 1;
  device_.write(slot.block);
}

void MCIbuffer::rotate() {
  Slot* const filled = slots_[2];
  slots_[2] = slots_[1];
  slots_[1] = slots_[0];
  slots_[0] = filled;
}

void MCIbuffer::complete_block() {
  frames_in_block_ = 0;
  if (check_device()) return restart_positions();  // nothing more is played; the run ends
  // Normally the whole block; less when the stream changed to a layer with shorter frames or its frames
  // were trimmed, and nothing to queue when no frame gave a sample.
  const size_t frames = frames_in_block();
  if (frames == 0) return restart_positions();
  slots_[2]->block.length = frames * channels_ * 2;
  completed_frames_ += frames;

  if (blocks_started_ >= 2) {
    queue(*slots_[2]);
    rotate();
    if (slots_[2]->block.user) wait_for(*slots_[2]);
  } else if (++blocks_started_ == 2) {
    queue(*slots_[0]);
    rotate();
    queue(*slots_[0]);
  } else {
    rotate();
  }
  restart_positions();
}

bool MCIbuffer::wait_for(const Slot& slot) {
  while (device_.still_playing(slot.block)) {
    if (stopping()) return false;
    control_.pause_point();
    if (stopping()) return false;
    device_.wait(&slot.block, kPoll);
  }
  return !check_device();  // a device that failed returned the block unplayed
}

void MCIbuffer::clear() {
  if (!opened_) return;
  device_.reset();
  for (Slot& slot : storage_) {
    if (slot.block.user) device_.still_playing(slot.block);
    slot.block.user = 0;
    std::fill_n(slot.samples.get(), block_samples_, int16_t{0});
  }
  // Back to the starting positions, not to 0: channel 1 of a stereo block starts at value 1.
  restart_positions();
  frames_in_block_ = 0;
  blocks_started_ = 0;
  completed_frames_ = 0;
}

}  // namespace vemla
