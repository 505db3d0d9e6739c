#include "run.h"

#include "notifier.h"

namespace vemla {

PlayerState player_state = Stopped;
bool run_open = false;
float frame_duration = 0.0f;
std::string track_file_name;
std::unique_ptr<MP_INIT> decode_thread;

namespace {

RunSettings* settings = nullptr;
TitleLabel* title_label = nullptr;
std::unique_ptr<SoundDevice> device;

SoundDevice& run_device() {
  return mpeg_args.device_handle ? *mpeg_args.device_handle : sound_device();
}

}  // namespace

const char* player_state_text(PlayerState state) {
  switch (state) {
    case Paused:
      return "paused";
    case Stopped:
      return "stopped";
    case Playing:
      return "playing";
    case Ready:
      return "ready";
    case Finished:
      return "finished";
  }
  return "";
}

void set_run_settings(RunSettings* provider) {
  settings = provider;
}

void set_title_label(TitleLabel* label) {
  title_label = label;
}

SoundDevice& sound_device() {
  if (!device) {
    std::string error;
    device = make_sound_device(sound_device_choice_from_environment(), error);
    if (!device) {
      notifier().notify("Audio playback error", "VEMLA_AUDIO: " + error, MessageIcon::Warning);
      device = make_sound_device("alsa", error);
    }
  }
  return *device;
}

void set_sound_device(std::unique_ptr<SoundDevice> replacement) {
  device = std::move(replacement);
  mpeg_args.device_handle = nullptr;
}

bool open_run() {
  if (!decode_thread) decode_thread = std::make_unique<MP_INIT>();
  decode_thread->set_priority(priority_from_setting(settings ? settings->priority() : 3));

  current_args = &mpeg_args;
  MPEG_Args& args = *current_args;
  args.stop = false;
  args.done = false;
  args.desired_frame = 0;
  args.position_change = true;  // every run starts with a seek to frame 0
  args.device_handle = &sound_device();
  if (!args.stream) args.stream = std::make_unique<Ibitstream>(track_file_name);
  if (!args.header) args.header = std::make_unique<Header>();
  args.reported_frame = 0;

  const int mix = settings ? settings->mix_index() : 0;
  if (mix >= ChoiceStereo && mix <= ChoiceMono) args.channels = static_cast<ChannelChoice>(mix);

  Crc16* crc = nullptr;
  if (!args.header->read_frame_header(*args.stream, crc)) {
    if (title_label) title_label->set_title_caption("Error: No header found");
    return false;
  }
  return true;
}

void close_run() {
  if (!run_open) return;
  // The reset returns every queued block, which frees a decode thread waiting for the device.
  SoundDevice& dev = run_device();
  dev.pause();
  dev.reset();
  player_state = Stopped;
  run_open = false;
  // Stop is raised before a suspended thread is resumed, so that it goes no further than its next look.
  mpeg_args.stop = true;
  if (decode_thread) {
    if (decode_thread->suspended()) decode_thread->resume();
    decode_thread->terminate();
    decode_thread->wait();
    decode_thread.reset();
  }
  mpeg_args.stream.reset();
  mpeg_args.header.reset();
}

void start_run() {
  if (decode_thread) decode_thread->resume();
  run_device().restart();
}

void pause_run() {
  if (decode_thread) decode_thread->suspend();
  run_device().pause();
}

void request_seek(unsigned frame) {
  mpeg_args.desired_frame = frame;
  mpeg_args.position_change = true;
  SoundDevice& dev = run_device();
  dev.pause();
  dev.reset();
  // A paused player keeps the device silent until Play; a playing one goes on from the new position.
  if (player_state != Paused) dev.restart();
  if (decode_thread) decode_thread->resume();
}

}  // namespace vemla
