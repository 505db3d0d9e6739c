#include "decode_run.h"

#include "mci_buffer.h"
#include "notifier.h"
#include "stream_decoder.h"
#include "worker_thread.h"

namespace vemla {

namespace {

// The output buffer's waits end when the run is told to stop (or, while the end plays out, to seek), and
// hold while the thread is suspended.
class RunWaits final : public WaitControl {
 public:
  RunWaits(MPEG_Args& args, WorkerThread* thread) : args_(args), thread_(thread) {}
  bool stop_requested() override {
    return args_.stop.load() || (thread_ && thread_->terminated()) ||
           (seeks_end_waits && args_.position_change);
  }
  bool seeks_end_waits = false;
  void pause_point() override {
    if (thread_) thread_->safe_point();
  }

 private:
  MPEG_Args& args_;
  WorkerThread* thread_;
};

// The decoder objects of one run: the output buffer, and the decoder of the stream being decoded.
class DecoderObjects {
 public:
  DecoderObjects(MPEG_Args& args, WorkerThread* thread) : args_(args), waits_(args, thread) {}
  ~DecoderObjects() { release_decoder_objects(true); }

  // False, after the user has been told, when the sound device cannot be opened.
  bool open() {
    Header& header = *args_.header;
    // The frame decoder sees to streams of one channel, and to frames whose channel count differs from the
    // first.
    const ChannelChoice choice = args_.channels;
    format_ = PcmFormat{FrameDecoder::output_channels(header, choice), header.frequency()};
    auto buffer =
        std::make_unique<MCIbuffer>(format_, header.samples_per_frame(), *args_.device_handle, waits_);
    if (!buffer->opened()) return false;
    args_.heard.set_frame_samples(buffer->frame_samples());
    device_buffer_ = buffer.get();
    output = std::move(buffer);
    volume_ = args_.volume.load();
    frames = std::make_unique<StreamDecoder>(*args_.stream, header, *output, choice, args_.gapless,
                                             args_.scale_factor * volume_);
    return true;
  }
  // At the end of the current stream: takes the following one, when there is one whose samples the device
  // can play as they are, and decodes it into the same output from its first frame, which it then holds.
  bool go_on_into_following() {
    FollowingStreams* const following = args_.following.load();
    if (!following || !device_buffer_) return false;
    const std::string file = following->following_file();
    if (file.empty()) return false;
    auto stream = std::make_unique<Ibitstream>(file);
    auto header = std::make_unique<Header>();
    {
      // A file that cannot be played is the owner's to report, when it opens a run on it.
      FirstMessage quiet;
      ThreadNotifierScope scope(quiet);
      Crc16* crc = nullptr;
      if (!stream->is_open() || !header->read_frame_header(*stream, crc)) return false;
    }
    const ChannelChoice choice = args_.channels;
    if (header->frequency() != format_.frequency ||
        FrameDecoder::output_channels(*header, choice) != format_.channels)
      return false;
    const float scale = following->following_scale(args_.scale_factor);
    {
      std::lock_guard lock(args_.mutex);
      // A seek asked for at the end of the stream is into that stream: its end plays out, and the seek finds it.
      if (args_.position_change) return false;
      frames.reset();
      args_.stream = std::move(stream);
      args_.header = std::move(header);
      args_.scale_factor = scale;
      volume_ = args_.volume.load();
      frames = std::make_unique<StreamDecoder>(*args_.stream, *args_.header, *output, choice, args_.gapless,
                                               args_.scale_factor * volume_);
      args_.heard.follow(device_buffer_->frames_written(), args_.header->samples_per_frame());
      args_.reported_frame.store(args_.stream->current_frame());
      ++args_.streams_followed;
    }
    following->followed();
    return true;
  }
  // A volume changed since the last frame takes effect with the next one: a block later at the device.
  void follow_volume() {
    const float volume = args_.volume.load();
    if (volume == volume_ || !frames) return;
    volume_ = volume;
    frames->frames().set_scale_factor(args_.scale_factor * volume_);
  }
  // Plays out the audio queued at the end of the stream; false when a stop or a seek came first. A trimmed
  // stream ends on its last sample, an untrimmed one on a block filled with silence, as it always did.
  bool play_out() {
    waits_.seeks_end_waits = true;
    const bool played = !device_buffer_ || device_buffer_->play_out(!frames->trims());
    waits_.seeks_end_waits = false;
    return played;
  }
  // The device failed while playing: the output buffer has told the user; the run ends unfinished.
  bool device_failed() const { return device_buffer_ && device_buffer_->device_failed(); }
  // Destroys the objects; the output buffer with `abort` drops its queued audio, otherwise plays it out.
  void release_decoder_objects(bool abort) {
    if (abort && output) output->request_stop();
    frames.reset();
    device_buffer_ = nullptr;
    output.reset();
  }

  std::unique_ptr<Obuffer> output;
  std::unique_ptr<StreamDecoder> frames;

 private:
  MPEG_Args& args_;
  RunWaits waits_;
  PcmFormat format_;
  MCIbuffer* device_buffer_ = nullptr;  // `output`
  float volume_ = 1.0f;                 // the volume in the synthesis filters' scale
};

}  // namespace

int decode_run(MPEG_Args& args) {
  WorkerThread* const self = WorkerThread::current();
  const auto told_to_stop = [&] { return args.stop.load() || (self && self->terminated()); };
  // A run closed before it was ever started (the import reads headers this way) opens no sound device.
  if (told_to_stop()) return 0;
  if (!args.stream || !args.header || !args.device_handle) return 1;  // no run was opened

  DecoderObjects objects(args, self);
  // A device that cannot be opened: the user has been told; the run ends as if stopped.
  if (!objects.open()) return 1;

  // The stream and header change when the run goes on into a following stream.
  Ibitstream* stream = args.stream.get();
  Header* header = args.header.get();
  Crc16* crc = nullptr;
  for (;;) {
    if (self) self->safe_point();
    {
      std::lock_guard lock(args.mutex);
      if (told_to_stop()) {
        objects.release_decoder_objects(true);
        return 0;
      }
      // The flag is taken before the frame is read, so that a seek asked for meanwhile is not lost.
      if (args.position_change.exchange(false)) {
        const uint32_t frame = args.desired_frame.load();
        if (!objects.frames->seek(frame)) {
          // A frame after the last one the stream holds (the position bar's length is an estimate, a file
          // cut short) is its end, as if played to there; any other failed seek ends the run unfinished.
          const int last = stream->highest_frame();
          if (last >= 0 && static_cast<int64_t>(frame) > last) break;
          objects.release_decoder_objects(false);
          return 1;
        }
        // The seek cleared the device: its played count starts again at this frame.
        args.heard.restart(static_cast<int32_t>(frame));
        crc = header->frame_crc();  // the seek loaded the frame asked for
      }
      args.reported_frame.store(stream->current_frame());
    }
    objects.follow_volume();
    objects.frames->decode_frame(crc);
    if (header->layer() != 3 && self && self->terminated()) {
      objects.release_decoder_objects(true);
      return 0;
    }
    if (objects.device_failed()) return 1;
    if (!header->read_frame_header(*stream, crc)) {
      objects.frames->finish(true);
      if (objects.go_on_into_following()) {
        stream = args.stream.get();
        header = args.header.get();
        crc = header->frame_crc();
        continue;
      }
      // The end plays out here, where a seek back into the track (also while paused) still finds the run.
      const bool played = objects.play_out();
      if (objects.device_failed()) return 1;
      if (played || told_to_stop() || !args.position_change) break;
    }
  }

  std::lock_guard lock(args.mutex);
  if (!args.stop) args.reported_frame.store(stream->current_frame());
  objects.release_decoder_objects(false);
  // A stop that came while the last blocks played out means the track was not heard to its end.
  if (!args.stop) {
    args.done.store(true);
    args.reported_frame.store(stream->current_frame());
  }
  return 0;
}

}  // namespace vemla
