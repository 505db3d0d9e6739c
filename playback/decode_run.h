// The control record of a decode run and the run itself: the loop that decodes a stream frame by frame into
// the sound device on the decode thread, looking at the user's stop and seek requests once per frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "bitstream.h"
#include "header.h"
#include "heard_position.h"
#include "sound_device.h"

namespace vemla {

// Where a run finds the stream that follows its current one without a break (gapless play): its samples go
// into the same output buffer and device queue, with no drain, reset or reopening between the two.
class FollowingStreams {
 public:
  virtual ~FollowingStreams() = default;
  // Decode thread, once for each stream that has ended: the file to go on into, or empty for none. The run
  // goes on into it when its sampling rate and channels are the device's (streams_followed counts it);
  // otherwise, or when it has no frame, the run ends as it would without it.
  virtual std::string following_file() = 0;
  // Decode thread, when the run is about to go on into the file last given: the synthesis filters' scale for
  // it (a gain of its own), `run_scale` (the stream before's) unless the owner says otherwise.
  virtual float following_scale(float run_scale) { return run_scale; }
  // Decode thread: the run went on into the file last given, whose first frame it now holds.
  virtual void followed() {}
};

// Only the fields marked "crosses threads" are touched by both the user-interface thread and the decode
// thread; each is atomic. The user-interface thread never takes `mutex`.
struct Args {
  std::mutex mutex;               // held by the decode thread while it acts on the control fields
  std::atomic<bool> stop{false};  // crosses threads: the run is to end
  std::atomic<bool> done{false};  // crosses threads: the stream ended and its audio has been played
};

// The synthesis filters' scale of full-scale 16-bit output.
inline constexpr float kFullScale = 32768.0f;

struct MPEG_Args : Args {
  std::atomic<uint32_t> desired_frame{0};    // crosses threads: 0-based frame to continue at
  std::atomic<bool> position_change{false};  // crosses threads: a seek to desired_frame is pending
  std::unique_ptr<Ibitstream> stream;        // the run's bitstream source
  std::unique_ptr<Header> header;            // the run's frame header
  ChannelChoice channels = ChoiceStereo;
  float scale_factor = kFullScale;         // the stream being decoded's own scale (its gain), before the volume
  // Crosses threads: the user's volume, a linear factor 0...1 the decode thread multiplies into the synthesis
  // filters' scale from the next frame on.
  std::atomic<float> volume{1.0f};
  SoundDevice* device_handle = nullptr;    // the device the output buffer opens and the player controls
  std::atomic<int32_t> reported_frame{0};  // crosses threads: frame at the last frame boundary
  // Crosses threads: which stream and frame the device's played count stands for.
  HeardPosition heard;
  // Gapless play: the encoders' delay and padding are dropped where the tags give them, and a seek decodes
  // the frames before its frame first, without a sound, so that it lands on the sample a straight decode has.
  bool gapless = true;
  std::atomic<FollowingStreams*> following{nullptr};  // crosses threads; null: nothing follows
  std::atomic<uint32_t> streams_followed{0};          // crosses threads: streams the run went on into
};

// Decodes from the frame in the stream's buffer (after the pending seek) to the end of the stream, and on
// into the streams that follow it, into the record's sound device, on the calling thread (the decode
// thread). The run's decoder objects live in this call; a stream it goes on into replaces the record's
// stream and header. 0 when the stream ended (also by a seek past its last frame) or the run was told to
// stop; 1 when a seek failed otherwise or the sound device could not be opened or failed while playing.
// Only a run that played its streams to the end raises `done`. A seek while the end plays out continues the
// run.
int decode_run(MPEG_Args& args);

}  // namespace vemla
