#include "player.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "decode_run.h"
#include "null_device.h"
#include "player_events.h"
#include "thread.h"

namespace vemla {

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

float track_scale(GainSettings settings, const ReplayGain& gain) {
  settings.volume = 1.0;
  return static_cast<float>(kFullScale * gain_factor(settings, gain));
}

struct Player::Impl {
  Impl(PlayerSettings& settings, TitleLabel& title, Notifier& notifier, std::unique_ptr<SoundDevice> device)
      : settings(settings),
        title(title),
        notifier(notifier),
        device(device ? std::move(device) : std::make_unique<NullDevice>()) {}

  PlayerSettings& settings;
  TitleLabel& title;
  Notifier& notifier;
  const std::unique_ptr<SoundDevice> device;
  std::atomic<PlayerListener*> listener{nullptr};
  PlayerEvents events{[this] {
    if (PlayerListener* l = listener.load()) l->events_waiting();
  }};

  MPEG_Args args;
  std::unique_ptr<MP_INIT> thread;
  std::atomic<bool> returned{false};  // the open run's decode_run has returned
  uint64_t run = 0;                   // number of the last run opened
  bool run_open = false;
  bool header_found = false;
  bool title_tells_error = false;
  PlayerState state = Stopped;
  float frame_duration = 0.0f;
};

Player::Player(PlayerSettings& settings, TitleLabel& title, Notifier& notifier,
               std::unique_ptr<SoundDevice> device)
    : impl_(std::make_unique<Impl>(settings, title, notifier, std::move(device))) {}

Player::~Player() {
  impl_->listener = nullptr;  // the owner may be going away itself
  close_run();
  impl_->device->reset();
  impl_->device->close();
}

void Player::set_listener(PlayerListener* listener) { impl_->listener = listener; }

PlayerSettings& Player::settings() { return impl_->settings; }

bool Player::open_run(unsigned frame) {
  Impl& p = *impl_;
  if (p.run_open) close_run();
  // Opening the file reports its failures on this thread.
  ThreadNotifierScope messages(p.notifier);

  const uint64_t run = ++p.run;
  p.returned = false;
  p.thread = std::make_unique<MP_INIT>(p.args, p.events, [&p, run](int) {
    p.returned = true;
    // A run closed by close_run is not announced.
    if (!p.args.stop) p.events.run_returned(run, p.args.done);
  });
  p.thread->set_priority(priority_from_setting(p.settings.priority()));

  MPEG_Args& args = p.args;
  args.stop = false;
  args.done = false;
  // Every run starts with a seek, to frame 0 unless told otherwise.
  const auto first = static_cast<int32_t>(std::min<unsigned>(frame, std::numeric_limits<int32_t>::max()));
  args.desired_frame = static_cast<uint32_t>(first);
  args.position_change = true;
  args.device_handle = p.device.get();
  args.stream = std::make_unique<Ibitstream>(track_file_name);
  args.header = std::make_unique<Header>();
  args.reported_frame = first;
  args.heard.reset();
  if (first > 0) args.heard.restart(first);
  args.streams_followed = 0;
  args.gapless = p.settings.gapless();
  // The track's own gain, read at every run; a gain given to a track of the last run's chain is not this run's.
  args.scale_factor = track_scale(p.settings.gains(), track_gain);
  const int mix = p.settings.mix_index();
  if (mix >= ChoiceStereo && mix <= ChoiceMono) args.channels = static_cast<ChannelChoice>(mix);
  p.run_open = true;

  Crc16* crc = nullptr;
  p.header_found = args.header->read_frame_header(*args.stream, crc);
  if (!p.header_found) {
    p.title.set_title_caption("Error: No header found");
    p.title_tells_error = true;
    p.frame_duration = 0.0f;
    return false;
  }
  if (p.title_tells_error) {
    p.title.restore_title_caption();
    p.title_tells_error = false;
  }
  p.frame_duration = args.header->frame_duration_ms();
  return true;
}

void Player::close_run() {
  Impl& p = *impl_;
  if (!p.run_open) return;
  // The reset returns every queued block, which frees a decode thread waiting for the device.
  p.device->pause();
  p.device->reset();
  p.run_open = false;
  // Stop is raised before a suspended thread is resumed, so that it goes no further than its next look.
  p.args.stop = true;
  if (p.thread) {
    if (p.thread->suspended()) p.thread->resume();
    p.thread->terminate();
    p.thread->wait();
    p.thread.reset();
  }
  p.args.stream.reset();
  p.args.header.reset();
  p.header_found = false;
  p.frame_duration = 0.0f;
  set_player_state(Stopped);
}

void Player::start_run() {
  Impl& p = *impl_;
  if (!p.run_open || !p.header_found) return;
  if (p.thread) p.thread->resume();
  p.device->restart();
  set_player_state(Playing);
}

void Player::pause_run() {
  Impl& p = *impl_;
  if (!p.run_open) return;
  if (p.thread) p.thread->suspend();
  p.device->pause();
  set_player_state(Paused);
}

void Player::request_seek(unsigned frame) {
  Impl& p = *impl_;
  if (!p.run_open || !p.header_found) return;
  const auto limit = static_cast<unsigned>(std::numeric_limits<int32_t>::max());
  p.args.desired_frame = frame;
  p.args.heard.restart(static_cast<int32_t>(std::min(frame, limit)));
  p.args.position_change = true;
  p.device->pause();
  p.device->reset();
  // A paused player keeps the device silent until Play; a playing one goes on from the new position.
  if (p.state != Paused) p.device->restart();
  if (p.thread) p.thread->resume();
}

bool Player::run_open() const { return impl_->run_open; }

PlayerState Player::player_state() const { return impl_->state; }

void Player::set_player_state(PlayerState state) {
  if (state == impl_->state) return;
  impl_->state = state;
  if (PlayerListener* l = impl_->listener.load()) l->state_changed(state);
}

bool Player::run_gapless() const { return impl_->run_open && impl_->args.gapless; }

float Player::frame_duration() const { return impl_->frame_duration; }

int32_t Player::reported_frame() const { return impl_->args.reported_frame; }

int32_t Player::heard_frame() const {
  const Impl& p = *impl_;
  const int32_t reported = p.args.reported_frame;
  // A run that has returned played (or dropped) everything it decoded.
  if (p.args.done || p.returned) return reported;
  return p.args.heard.at(p.device->played_frames(), reported).frame;
}

void Player::set_following_streams(FollowingStreams* following) { impl_->args.following = following; }

uint32_t Player::streams_followed() const { return impl_->args.streams_followed; }

uint32_t Player::heard_stream() const {
  const Impl& p = *impl_;
  if (p.args.done || p.returned) return p.args.streams_followed;
  return p.args.heard.at(p.device->played_frames(), p.args.reported_frame).stream;
}

bool Player::done() const { return impl_->args.done; }

void Player::clear_done() {
  impl_->args.done = false;
  impl_->args.reported_frame = 0;
}

bool Player::thread_finished() const { return impl_->thread && impl_->thread->finished(); }

const MP_INIT* Player::decode_thread() const { return impl_->thread.get(); }

const Header* Player::header() const { return impl_->args.header.get(); }

const Ibitstream* Player::stream() const { return impl_->args.stream.get(); }

SoundDevice& Player::device() { return *impl_->device; }

void Player::set_volume(double volume) {
  const double sane = std::isfinite(volume) ? std::clamp(volume, 0.0, 1.0) : 1.0;
  impl_->args.volume.store(static_cast<float>(sane));
}

double Player::volume() const { return impl_->args.volume.load(); }

void Player::deliver_events() {
  Impl& p = *impl_;
  for (const PlayerEvent& event : p.events.take()) {
    if (event.kind == PlayerEvent::Kind::Message) {
      p.notifier.notify(event.caption, event.text, event.icon);
      continue;
    }
    if (event.run != p.run || !p.run_open) continue;  // a run closed since
    if (event.done) {
      if (PlayerListener* l = p.listener.load()) l->run_ended();
    } else {
      close_run();  // nothing more will be heard of this run
    }
  }
}

}  // namespace vemla
