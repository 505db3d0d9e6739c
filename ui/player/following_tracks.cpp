#include "following_tracks.h"

#include <QMetaObject>
#include <QTimer>
#include <algorithm>

#include "data.h"
#include "file_check.h"
#include "library_play_list.h"
#include "temporary_track.h"
#include "track_gains.h"
#include "track_source.h"
#include "transport.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

// How often the switch to the next track is looked for while it is on its way to the device: the displays
// then change within this much of the first sound of the track.
constexpr int kWatchMs = 20;

}  // namespace

ReplayGain record_gain(Table& tracks, int32_t record) {
  try {
    if (const auto gains = read_gains(tracks, track_source(tracks, record).id)) return gains->gain;
  } catch (const std::exception&) {
    // Unreadable gains are no reason not to play the track.
  }
  return {};
}

ReplayGain current_gain(Table& tracks) {
  try {
    if (const auto gains = read_gains(tracks)) return gains->gain;
  } catch (const std::exception&) {
    // As above.
  }
  return {};
}

FollowingTracks::FollowingTracks(Transport& transport, Tdb& db, QObject* parent)
    : QObject(parent), transport_(transport), db_(db), watch_(new QTimer(this)) {
  watch_->setInterval(kWatchMs);
  connect(watch_, &QTimer::timeout, this, &FollowingTracks::watch);
  // The run is closed before this object goes, and a look queued for it then is dropped with it.
  chain_.on_followed = [this] {
    QMetaObject::invokeMethod(this, &FollowingTracks::streams_taken, Qt::QueuedConnection);
  };
  transport_.player().set_following_streams(&chain_);
  // A pause holds the switch; Play lets it come.
  connect(&transport_, &Transport::state_changed, this, &FollowingTracks::watch);
}

FollowingTracks::~FollowingTracks() {
  // The transport has closed the run: no decode thread asks the chain any more.
  transport_.player().set_following_streams(nullptr);
  delete_files();
}

void FollowingTracks::run_opened() {
  chain_.new_run();
  taken_.clear();
  shown_stream_ = 0;
  watch_->stop();
}

bool FollowingTracks::ahead() const {
  const Player& player = transport_.player();
  return player.run_open() && player.streams_followed() > shown_stream_;
}

bool FollowingTracks::behind() const {
  const Player& player = transport_.player();
  return player.run_open() && player.heard_stream() > shown_stream_;
}

void FollowingTracks::update_soon() {
  if (update_pending_) return;
  update_pending_ = true;
  QMetaObject::invokeMethod(this, &FollowingTracks::update, Qt::QueuedConnection);
}

void FollowingTracks::update() {
  update_pending_ = false;
  Player& player = transport_.player();
  Table& tracks = db_.Table1;
  if (transport_.run_record() == 0 || !tracks.is_open()) {
    chain_.set_following({});
    taken_.clear();
    prune_files();
    return;
  }
  // A track being edited is not posted behind the user's back: the end of the edit asks again. The settings
  // are read as the record holds them, a tick not yet posted included.
  if (tracks.state() == TableState::Edit || tracks.state() == TableState::Insert) return;

  // What follows the stream being decoded: the last one the run went on into, else the one shown.
  int cursor = transport_.playlist().cursor();
  int32_t playing = transport_.run_record();
  std::string playing_file = player.track_file_name;
  FollowingTrack following;
  following.after = shown_stream_;
  if (!taken_.empty()) {
    cursor = taken_.back().cursor;
    playing = taken_.back().record;
    playing_file = taken_.back().file;
    following.after = taken_.back().stream;
  }
  try {
    LibraryPlayList list(transport_.playlist(), tracks);
    following.record = following_record(list, cursor, playing, transport_.settings(false));
    // Read at every track: without gapless play each track has a run of its own, as it always had.
    if (following.record > 0 && player.settings().gapless() && player.run_gapless()) {
      following.file = file_of(following.record, playing, playing_file);
      // Its own gain from the join on, with the ReplayGain choices as they are now.
      following.scale = track_scale(player.settings().gains(), record_gain(tracks, following.record));
    }
  } catch (const std::exception&) {
    // Without the tables nothing is known to follow; the next command reports their error.
    following = {};
  }
  chain_.set_following(std::move(following));
  prune_files();
}

std::string FollowingTracks::file_of(int32_t record, int32_t playing, const std::string& playing_file) {
  if (record == playing) return playing_file;
  const TrackSource source = track_source(db_.Table1, record);
  if (!source.stored) {
    // Only a readable file: the decode thread would wait for ever on a FIFO. Any other is left to the run of
    // its own, which tells the user what is wrong with it.
    return why_unreadable(source.path).empty() ? source.path : std::string();
  }
  for (const File& file : files_) {
    if (file.record == record && fs::exists(file.path)) return file.path.string();
  }
  const fs::path path = temporary_track_path(++files_made_);
  Table& tracks = db_.Table1;
  const std::string reason =
      write_temporary_track([&](const fs::path& into) { save_stored_audio(tracks, record, into); }, path);
  if (!reason.empty()) return {};  // the track's own run says why
  files_.push_back({path, record});
  return path.string();
}

void FollowingTracks::prune_files() {
  const Player& player = transport_.player();
  std::vector<std::string> needed{chain_.following().file};
  if (player.run_open()) needed.push_back(player.track_file_name);
  for (const Taken& taken : taken_) needed.push_back(taken.file);
  std::erase_if(files_, [&](const File& file) {
    if (std::find(needed.begin(), needed.end(), file.path.string()) != needed.end()) return false;
    std::error_code ignored;
    fs::remove(file.path, ignored);
    return true;
  });
}

void FollowingTracks::delete_files() {
  for (const File& file : files_) {
    std::error_code ignored;
    fs::remove(file.path, ignored);
  }
  files_.clear();
}

void FollowingTracks::streams_taken() {
  take_in();
  update();
  watch();
}

void FollowingTracks::take_in() {
  if (!transport_.player().run_open()) return;
  const uint32_t taken = chain_.streams_taken();
  for (uint32_t n = (taken_.empty() ? shown_stream_ : taken_.back().stream) + 1; n <= taken; ++n) {
    const FollowingTrack track = chain_.stream_track(n);
    // Where the cursor goes when this stream is heard, if nothing changes meanwhile: what follows it is
    // worked out from there.
    Taken next{n, taken_.empty() ? transport_.playlist().cursor() : taken_.back().cursor, track.record, track.file};
    try {
      LibraryPlayList list(transport_.playlist(), db_.Table1);
      const Step step = end_of_track_step(list, next.cursor, transport_.settings(false));
      if (step.moves) next.cursor = step.cursor;
    } catch (const std::exception&) {
      // The switch, when it is heard, asks the play order again.
    }
    taken_.push_back(std::move(next));
  }
}

void FollowingTracks::watch() {
  if (!transport_.player().run_open()) taken_.clear();
  catch_up();
  if (!taken_.empty() && transport_.state() == Playing) {
    if (!watch_->isActive()) watch_->start();
  } else {
    watch_->stop();
  }
}

bool FollowingTracks::catch_up() {
  take_in();
  const Player& player = transport_.player();
  while (!taken_.empty() && player.run_open() && player.heard_stream() >= taken_.front().stream) {
    const Taken next = taken_.front();
    taken_.pop_front();
    shown_stream_ = next.stream;
    if (!transport_.go_on_into(next.record, next.file)) {
      taken_.clear();
      return false;
    }
  }
  return true;
}

}  // namespace vemla
