#include "transport.h"

#include <QMetaObject>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>

#include "bitstream.h"
#include "data.h"
#include "error_box.h"
#include "file_check.h"
#include "following_tracks.h"
#include "header.h"
#include "library_play_list.h"
#include "notifier.h"
#include "rows.h"
#include "temporary_track.h"
#include "track_facts.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

QString text_of(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// What the player and the tables tell the transport.
class Transport::Watcher final : public PlayerListener, public DataObserver {
 public:
  explicit Watcher(Transport& owner) : owner_(owner) {}

  void state_changed(PlayerState) override { owner_.publish_soon(); }
  void run_ended() override { owner_.run_ended(); }
  // Decode thread: the events are taken on the window's thread.
  void events_waiting() override {
    QMetaObject::invokeMethod(
        &owner_, [owner = &owner_] { owner->player_.deliver_events(); }, Qt::QueuedConnection);
  }
  // A track's flags or the playing options changed, or an edit ended.
  void field_changed(DataSource&, const Field&) override { owner_.following_may_change(); }
  void state_changed(DataSource&) override { owner_.following_may_change(); }
  void row_changed(DataSource& source) override {
    owner_.publish_soon();
    if (&source == &owner_.db_.reg) owner_.following_may_change();
  }

 private:
  Transport& owner_;
};

Transport::Transport(Player& player, Tdb& db, QWidget* window, QObject* parent)
    : QObject(parent),
      player_(player),
      db_(db),
      window_(window),
      playlist_(db.Table1),
      watcher_(std::make_unique<Watcher>(*this)),
      following_(std::make_unique<FollowingTracks>(*this, db)) {
  player_.set_listener(watcher_.get());
  db_.data.attach(*watcher_);
  db_.reg.attach(*watcher_);
}

Transport::~Transport() {
  db_.reg.detach(*watcher_);
  db_.data.detach(*watcher_);
  player_.set_listener(nullptr);
  // Joins the decode thread: a report it was making when the listener went finishes before the watcher goes.
  player_.close_run();
}

template <typename F>
bool Transport::guarded(F command) {
  try {
    command();
    return true;
  } catch (const std::exception& error) {
    show_error(window_, QString::fromUtf8(error.what()));
    return false;
  }
}

PlaySettings Transport::settings(bool refresh) {
  PlaySettings settings;
  settings.auto_play = refresh ? refreshed_setting(db_.Table2, SettingsTable::autoplay)
                               : setting(db_.Table2, SettingsTable::autoplay);
  settings.nonstop = setting(db_.Table2, SettingsTable::nonstop);
  settings.repeat_track = repeat_track_;
  return settings;
}

void Transport::set_repeat_track(bool on) {
  if (on == repeat_track_) return;
  repeat_track_ = on;
  emit options_changed();
  following_may_change();
}

void Transport::set_nonstop(bool on) {
  guarded([&] {
    if (setting(db_.Table2, SettingsTable::nonstop) != on)
      write_setting(db_.Table2, SettingsTable::nonstop, on);
  });
  emit options_changed();
}

bool Transport::can_go_next() {
  bool can = false;
  guarded([&] {
    LibraryPlayList list(playlist_, db_.Table1);
    can = has_next(list, playlist_.cursor(), settings(false));
  });
  return can;
}

bool Transport::can_go_prior() {
  bool can = false;
  guarded([&] {
    LibraryPlayList list(playlist_, db_.Table1);
    can = has_prior(list, playlist_.cursor(), settings(false));
  });
  return can;
}

// --- Commands ---

void Transport::play() {
  switch (player_.player_state()) {
    case Playing:
      return;
    case Paused:
      if (end_pending_) {
        finish_run();
      } else {
        player_.start_run();
      }
      return;
    default:
      break;
  }
  if (!start_current_track()) {
    Table& tracks = db_.Table1;
    if (tracks.is_open() && tracks.record_count() == 0)
      emit status_message(QStringLiteral("No tracks yet: add some with Track > Add"));
  }
}

void Transport::pause() {
  if (player_.player_state() == Playing) {
    player_.pause_run();
  } else if (player_.player_state() == Paused) {
    play();
  }
}

void Transport::play_pause() {
  if (player_.player_state() == Playing) {
    player_.pause_run();
  } else {
    play();
  }
}

void Transport::stop() {
  end_pending_ = false;
  own_run_ = false;
  player_.close_run();
  update_following();
}

void Transport::next() {
  Step step;
  if (!guarded([&] {
        LibraryPlayList list(playlist_, db_.Table1);
        step = next_step(list, playlist_.cursor(), settings());
      }))
    return;
  apply(step);
}

void Transport::prior() {
  Step step;
  if (!guarded([&] {
        LibraryPlayList list(playlist_, db_.Table1);
        step = prior_step(list, playlist_.cursor(), settings());
      }))
    return;
  apply(step);
}

bool Transport::seek(int frame) {
  const PlayerState state = player_.player_state();
  if (state != Playing && state != Paused) return false;
  const int target = std::max(0, frame);
  if (following_->ahead()) {
    reopen_at(target);
  } else {
    player_.request_seek(static_cast<unsigned>(target));
  }
  emit seeked(microseconds(target));
  return true;
}

void Transport::reopen_at(int frame) {
  // The decoder has gone on into the next track: a seek there would move that one. The file of the track heard
  // is kept while it is heard.
  const bool paused = player_.player_state() == Paused;
  end_pending_ = false;
  player_.close_run();
  following_->run_opened();
  if (!player_.open_run(static_cast<unsigned>(frame))) {
    player_.close_run();
    following_->update();
    return;
  }
  if (paused) {
    player_.pause_run();
  } else {
    player_.start_run();
  }
  following_->update();
}

bool Transport::seek_to_us(int64_t position_us) {
  const double duration_us = player_.frame_duration() * 1000.0;
  if (duration_us <= 0) return false;
  const double frame =
      std::clamp(static_cast<double>(position_us) / duration_us, 0.0, static_cast<double>(std::max(0, run_frames_)));
  return seek(static_cast<int>(frame));
}

int64_t Transport::position_us() const { return microseconds(shown_frame()); }

void Transport::list_changed(ListChange change) {
  const bool shuffled = change != ListChange::Reset;
  if (shuffled != shuffled_) {
    shuffled_ = shuffled;
    emit options_changed();
  }
  Step step;
  if (!guarded([&] {
        LibraryPlayList list(playlist_, db_.Table1);
        step = list_changed_step(list, playlist_.cursor(), change, settings());
      }))
    return;
  apply(step);
}

bool Transport::go_to_track(int32_t record) {
  bool found = false;
  lookup_failed_ = !guarded([&] { found = playlist_.go_to_track(record); });
  emit current_changed(found);
  publish_soon();
  following_may_change();
  return found;
}

void Transport::apply(const Step& step) {
  if (!step.status.empty()) emit status_message(QString::fromUtf8(step.status.c_str()));
  if (step.stop) {
    end_pending_ = false;
    player_.close_run();
  }
  if (step.moves) {
    const int cursor = playlist_.cursor();
    playlist_.set_cursor(step.cursor);
    go_to_track(step.record);
    if (lookup_failed_) {
      playlist_.set_cursor(cursor);  // the walk ends where the table could not go
      update_following();
      return;
    }
  }
  if (step.replay) {
    // The track that ended, also when the table was moved away from it meanwhile.
    if (db_.Table1.is_open() && db_.Table1.record_number() != run_record_) go_to_track(run_record_);
    if (!lookup_failed_) start_current_track();
  } else if (step.play) {
    start_current_track();
  }
  update_following();
}

// --- The run ---

bool Transport::start_current_track() {
  end_pending_ = false;
  bool started = false;
  guarded([&] {
    if (!open_current_track()) return;
    // Named before the decoder starts, so that a short track does not end before the next one is known.
    update_following();
    player_.start_run();
    started = player_.player_state() == Playing;
  });
  update_following();
  return started;
}

fs::path Transport::temporary_file() const { return temporary_track_path(); }

void Transport::delete_temporary_file() {
  const fs::path file = temporary_file();
  std::error_code ignored;
  if (!file.empty()) fs::remove(file, ignored);
  following_->delete_files();
}

bool Transport::open_current_track() {
  Table& tracks = db_.Table1;
  if (!tracks.is_open() || tracks.record_count() == 0) return false;
  player_.close_run();

  // The settings say where the audio of the track being played is; they follow the track.
  const Field data = field(tracks, TrackTable::data);
  const bool stored = !data.is_empty();
  Table& settings = db_.Table2;
  if (settings.is_open() && setting(settings, SettingsTable::storage) != stored)
    write_setting(settings, SettingsTable::storage, stored);

  if (stored) {
    const fs::path file = temporary_file();
    const std::string reason = write_temporary_track(data, file);
    if (!reason.empty()) {
      show_error(window_, QStringLiteral("This track cannot be played: its temporary file \"%1\" cannot be "
                                         "written (%2). Make room there, or keep the track's audio on disk.")
                              .arg(text_of(file.string()), text_of(reason)));
      return false;
    }
    player_.track_file_name = file.string();
  } else {
    const fs::path path = get(tracks, TrackTable::pad);
    // Only a file: opening a FIFO or a device would wait for ever.
    if (path.empty()) {
      show_error(window_, QStringLiteral("Track %1 has no audio: it is neither stored in the database nor "
                                         "kept in a file.")
                              .arg(tracks.record_number()));
      return false;
    }
    const std::string reason = why_unreadable(path);
    if (!reason.empty()) {
      const bool missing = reason == "no such file";
      const QString why = missing                          ? QStringLiteral("is missing")
                          : reason == "not a regular file" ? QStringLiteral("is not a regular file")
                                                           : text_of(reason);
      const QString advice = missing ? QStringLiteral("Put the file back where it was, or delete the track and "
                                                      "add the file again.")
                                     : QStringLiteral("Make it a readable audio file again, or delete the track.");
      show_error(window_, QStringLiteral("Track %1 cannot be played: its file %2 %3.\n\n%4")
                              .arg(tracks.record_number())
                              .arg(text_of(path.string()), why, advice));
      return false;
    }
    player_.track_file_name = path.string();
  }

  player_.track_gain = current_gain(tracks);
  const bool header_found = player_.open_run();
  following_->run_opened();
  own_run_ = true;
  run_record_ = tracks.record_number();
  measure_run(header_found ? player_.header() : nullptr, player_.stream());
  ++runs_started_;
  emit run_opened();
  publish_soon();
  return header_found;
}

void Transport::run_ended() {
  if (!own_run_ || !player_.run_open()) return;
  // The tracks the run went on into were all heard: the last of them is the one that ended.
  if (!following_->catch_up()) return;
  // An end reached while paused (a seek past the last frame) waits for Play, as the pause asked.
  if (player_.player_state() == Paused) {
    end_pending_ = true;
    return;
  }
  finish_run();
}

void Transport::finish_run() {
  end_pending_ = false;
  Step step;
  const bool decided = guarded([&] {
    LibraryPlayList list(playlist_, db_.Table1);
    step = end_of_track_step(list, playlist_.cursor(), settings());
  });
  // Rules that cannot be followed (the tables fail) end the run rather than leave it hanging.
  if (!decided) {
    player_.close_run();
    return;
  }
  apply(step);
}

int32_t Transport::shown_frame() const {
  if (!player_.run_open()) return 0;
  // The next track is heard already and shown at the next look: until then this one is at its end.
  if (following_->behind()) return run_frames_;
  return player_.heard_frame();
}

int64_t Transport::microseconds(int32_t frame) const {
  return std::llround(static_cast<double>(frame) * player_.frame_duration() * 1000.0);
}

// --- The following track ---

void Transport::following_may_change() { following_->update_soon(); }

void Transport::update_following() { following_->update(); }

bool Transport::go_on_into(int32_t record, const std::string& file) {
  Step step;
  if (!guarded([&] {
        LibraryPlayList list(playlist_, db_.Table1);
        step = end_of_track_step(list, playlist_.cursor(), settings());
      })) {
    player_.close_run();
    update_following();
    return false;
  }
  const bool again = step.replay && record == run_record_;
  if (!again && !(step.play && step.moves && step.record == record)) {
    apply(step);
    return false;
  }
  if (!again) {
    playlist_.set_cursor(step.cursor);
    go_to_track(record);
  } else if (db_.Table1.is_open() && db_.Table1.record_number() != run_record_) {
    go_to_track(run_record_);  // the track that ended, also when the table was moved away from it meanwhile
  }
  if (lookup_failed_) {
    player_.close_run();
    update_following();
    return false;
  }
  guarded([&] {
    // The settings say where the audio of the track being played is; they follow the track.
    Table& settings = db_.Table2;
    const bool stored = !is_empty(db_.Table1, TrackTable::data);
    if (settings.is_open() && setting(settings, SettingsTable::storage) != stored)
      write_setting(settings, SettingsTable::storage, stored);
  });
  run_record_ = record;
  player_.track_file_name = file;
  // A later run on it (a seek that reopens) keeps its gain.
  player_.track_gain = record_gain(db_.Table1, record);
  {
    // The file as the run opened it, for its exact length; its messages were the run's to tell.
    FirstMessage quiet;
    ThreadNotifierScope scope(quiet);
    Ibitstream stream(file);
    Header header;
    Crc16* crc = nullptr;
    const bool found = stream.is_open() && header.read_frame_header(stream, crc);
    measure_run(found ? &header : nullptr, found ? &stream : nullptr);
  }
  ++runs_started_;
  emit run_opened();
  publish_soon();
  update_following();
  return true;
}

void Transport::measure_run(const Header* header, const Ibitstream* stream) {
  run_frames_ = 0;
  run_length_ms_ = -1;
  guarded([&] { run_frames_ = std::max(0, get(db_.Table1, TrackTable::frametotal)); });
  if (!header || !stream || !player_.run_gapless() || header->samples_per_frame() == 0) return;
  const TrackFacts facts = track_facts(*header, *stream);
  if (!facts.exact) return;
  const uint64_t frame = header->samples_per_frame();
  run_frames_ = static_cast<int>(std::min<uint64_t>((facts.samples + frame - 1) / frame, std::numeric_limits<int32_t>::max()));
  run_length_ms_ = facts.tracktotal;
}

// --- Observers ---

void Transport::publish_soon() {
  if (publish_pending_) return;
  publish_pending_ = true;
  QMetaObject::invokeMethod(this, &Transport::publish, Qt::QueuedConnection);
}

void Transport::publish() {
  publish_pending_ = false;
  const PlayerState state = player_.player_state();
  if (state != told_state_) {
    told_state_ = state;
    emit state_changed(state);
  }
  Table& tracks = db_.Table1;
  const int record = tracks.is_open() ? tracks.record_number() : 0;
  if (record != told_record_ || runs_started_ != told_run_) {
    told_record_ = record;
    told_run_ = runs_started_;
    emit track_changed();
  }
}

}  // namespace vemla
