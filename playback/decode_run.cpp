#include "decode_run.h"

#include "frame_decoder.h"
#include "mci_buffer.h"
#include "worker_thread.h"

namespace vemla {

MPEG_Args mpeg_args;
MPEG_Args* current_args = nullptr;

namespace {

// The output buffer's waits end when the run is told to stop, and hold while the thread is suspended.
class RunWaits final : public WaitControl {
 public:
  RunWaits(MPEG_Args& args, WorkerThread* thread) : args_(args), thread_(thread) {}
  bool stop_requested() override { return args_.stop.load() || (thread_ && thread_->terminated()); }
  void pause_point() override {
    if (thread_) thread_->safe_point();
  }

 private:
  MPEG_Args& args_;
  WorkerThread* thread_;
};

// The decoder objects of the run: one of each while decode_run is active.
struct DecoderObjects {
  std::unique_ptr<RunWaits> waits;
  std::unique_ptr<Obuffer> output;
  std::unique_ptr<FrameDecoder> frames;  // the synthesis filters and the Layer III decoder
};
DecoderObjects objects;

}  // namespace

void release_decoder_objects(bool abort) {
  if (abort && objects.output) objects.output->request_stop();
  objects.frames.reset();
  objects.output.reset();  // plays out what is queued unless aborted
  objects.waits.reset();
}

int decode_run(MPEG_Args& args) {
  WorkerThread* const self = WorkerThread::current();
  const auto told_to_stop = [&] { return args.stop.load() || (self && self->terminated()); };
  // A run closed before it was ever started (the import reads headers this way) opens no sound device.
  if (told_to_stop()) return 0;
  if (!args.stream || !args.header || !args.device_handle) return 1;  // no run was opened

  Ibitstream& stream = *args.stream;
  Header& header = *args.header;
  const ChannelChoice choice = header.mode() == SingleChannel ? ChoiceLeft : args.channels;

  objects.waits = std::make_unique<RunWaits>(args, self);
  auto buffer = std::make_unique<MCIbuffer>(FrameDecoder::output_channels(header, choice), header,
                                            *args.device_handle, *objects.waits);
  const bool opened = buffer->opened();
  objects.output = std::move(buffer);
  if (!opened) {
    // The user has been told; the run ends as if stopped, and the program goes on.
    release_decoder_objects(true);
    return 1;
  }
  objects.frames = std::make_unique<FrameDecoder>(stream, header, *objects.output, choice, args.scale_factor);

  Crc16* crc = nullptr;
  for (;;) {
    if (self) self->safe_point();
    {
      std::lock_guard lock(args.mutex);
      if (told_to_stop()) {
        release_decoder_objects(true);
        return 0;
      }
      // The flag is taken before the frame is read, so that a seek asked for meanwhile is not lost.
      if (args.position_change.exchange(false)) {
        if (!objects.frames->seek(args.desired_frame.load())) {
          release_decoder_objects(false);
          return 1;
        }
        crc = header.frame_crc();  // the seek loaded the frame asked for
      }
      args.reported_frame.store(stream.current_frame());
    }
    objects.frames->decode_frame(crc);
    if (header.layer() != 3 && self && self->terminated()) {
      release_decoder_objects(true);
      return 0;
    }
    if (!header.read_frame_header(stream, crc)) break;
  }

  std::lock_guard lock(args.mutex);
  if (!args.stop) args.reported_frame.store(stream.current_frame());
  release_decoder_objects(false);
  // A stop that came while the last blocks played out means the track was not heard to its end.
  if (!args.stop) {
    args.done.store(true);
    args.reported_frame.store(stream.current_frame());
  }
  return 0;
}

}  // namespace vemla
