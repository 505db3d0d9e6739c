#include "player_control.h"

#include <QAbstractSlider>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <limits>

#include "data.h"
#include "error_box.h"
#include "file_check.h"
#include "main_window.h"
#include "player_settings.h"
#include "playlist_control.h"
#include "temporary_track.h"
#include "thread.h"
#include "track_facts.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

// While sound comes out the displays follow within a tenth of a second; a paused run, or one whose end waits
// for Play, is looked at twice a second (Auto Play ticked then still moves on); otherwise the timer rests.
constexpr int kPlayingPeriodMs = 50;
constexpr int kWaitingPeriodMs = 500;
// Keyboard and wheel moves of the position bar seek once the keys have rested this long.
constexpr int kKeySeekDelayMs = 400;
// Arrow keys move the bar by 5 seconds, page keys by 30.
constexpr float kStepMs = 5000.0f;
constexpr int kPagesPerStep = 6;
// How long the status bar says why Nonstop Play stopped.
constexpr int kNothingToPlayMessageMs = 15000;

QString text_of(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

// What the player and the track table tell player control.
class PlayerControl::Watcher final : public PlayerListener, public DataObserver {
 public:
  explicit Watcher(PlayerControl& owner) : owner_(owner) {}

  void state_changed(PlayerState) override { owner_.publish_soon(); }
  void run_ended() override { owner_.wake(); }
  // Decode thread: the events are taken on the window's thread.
  void events_waiting() override {
    QMetaObject::invokeMethod(
        &owner_,
        [owner = &owner_] {
          owner->player_.deliver_events();
          owner->wake();
        },
        Qt::QueuedConnection);
  }
  void row_changed(DataSource&) override { owner_.publish_soon(); }
  void state_changed(DataSource&) override { owner_.forget_closed_library(); }

 private:
  PlayerControl& owner_;
};

PlayerControl::PlayerControl(TForm1& form, Player& player, Tdb& db, PlaylistControl& playlist, QObject* parent)
    : QObject(parent),
      form_(form),
      player_(player),
      db_(db),
      playlist_(playlist),
      watcher_(std::make_unique<Watcher>(*this)),
      idle_timer_(new QTimer(this)),
      key_seek_timer_(new QTimer(this)) {
  idle_timer_->setObjectName(QStringLiteral("idleTimer"));
  connect(idle_timer_, &QTimer::timeout, this, &PlayerControl::MyIdleHandler);
  key_seek_timer_->setSingleShot(true);
  key_seek_timer_->setInterval(kKeySeekDelayMs);
  connect(key_seek_timer_, &QTimer::timeout, this, &PlayerControl::commit_key_seek);

  connect(form.Play, &QToolButton::clicked, this, &PlayerControl::PlayClick);
  connect(form.Pause, &QToolButton::clicked, this, &PlayerControl::PauseClick);
  connect(form.Stop, &QToolButton::clicked, this, &PlayerControl::StopClick);
  connect(form.Prior, &QToolButton::clicked, this, &PlayerControl::PriorClick);
  connect(form.Next, &QToolButton::clicked, this, &PlayerControl::NextClick);
  // Mouse presses anywhere on the bar (handle or groove) are MouseDown and MouseUp; keys and the wheel move
  // it without a press.
  form.RzTrackBar1->installEventFilter(this);
  connect(form.RzTrackBar1, &QAbstractSlider::actionTriggered, this, [this](int action) {
    if (!mouse_on_bar_ && action != QAbstractSlider::SliderNoAction) bar_moved_by_keys();
  });

  player_.set_listener(watcher_.get());
  db_.data.attach(*watcher_);
  wake();
}

PlayerControl::~PlayerControl() {
  db_.data.detach(*watcher_);
  player_.set_listener(nullptr);
  // Joins the decode thread: a report it was making when the listener went finishes before the watcher goes.
  player_.close_run();
}

Player& PlayerControl::player() { return player_; }
PlayerState PlayerControl::player_state() const { return player_.player_state(); }

fs::path PlayerControl::temporary_file() const { return temporary_track_path(); }

void PlayerControl::delete_temporary_file() {
  const fs::path file = temporary_file();
  std::error_code ignored;
  if (!file.empty()) fs::remove(file, ignored);
}

template <typename F>
void PlayerControl::guarded(F handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
  }
  wake();
}

// --- Transport ---

void PlayerControl::PlayClick() {
  if (!in_idle_) list_restarted_ = false;  // the user's own start begins a new watch on the list
  guarded([this] {
    if (player_.player_state() == Stopped && !open_current_track()) {
      if (db_.Table1.is_open() && db_.Table1.record_count() == 0) {
        form_.RzStatusBar1->showMessage(QStringLiteral("No tracks yet: add some with Track > Add"),
                                        kNothingToPlayMessageMs);
      }
      return;
    }
    if (player_.run_open()) {
      player_.start_run();
      if (player_.player_state() == Playing) form_.Play->setChecked(true);
    }
  });
}

bool PlayerControl::open_current_track() {
  Table& tracks = db_.Table1;
  if (!tracks.is_open() || tracks.record_count() == 0) return false;
  player_.close_run();

  // The settings say where the audio of the track being played is; they follow the track.
  const Field data = tracks.field_by_name("DATA");
  const bool stored = !data.is_empty();
  Table& settings = db_.Table2;
  if (settings.is_open() && setting(settings, "STORAGE") != stored) write_setting(settings, "STORAGE", stored);

  if (stored) {
    const fs::path file = temporary_file();
    const std::string reason = write_temporary_track(data, file);
    if (!reason.empty()) {
      show_error(&form_, QStringLiteral("This track cannot be played: its temporary file \"%1\" cannot be "
                                        "written (%2). Make room there, or keep the track's audio on disk.")
                             .arg(text_of(file.string()), text_of(reason)));
      return false;
    }
    player_.track_file_name = file.string();
  } else {
    const fs::path path = tracks.field_by_name("PAD").as_text();
    // Only a file: opening a FIFO or a device would wait for ever.
    if (path.empty()) {
      show_error(&form_, QStringLiteral("Track %1 has no audio: it is neither stored in the database nor "
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
      show_error(&form_, QStringLiteral("Track %1 cannot be played: its file %2 %3.\n\n%4")
                             .arg(tracks.record_number())
                             .arg(text_of(path.string()), why, advice));
      return false;
    }
    player_.track_file_name = path.string();
  }

  const bool header_found = player_.open_run();
  end_seen_ = false;
  run_record_ = tracks.record_number();
  ++runs_started_;
  publish_soon();

  const int frames = std::max(0, tracks.field_by_name("FRAMETOTAL").as_integer());
  form_.RzTrackBar1->setMaximum(frames);
  if (player_.frame_duration() > 0) {
    const int step = std::max(1, static_cast<int>(std::lround(kStepMs / player_.frame_duration())));
    form_.RzTrackBar1->setSingleStep(step);
    form_.RzTrackBar1->setPageStep(step * kPagesPerStep);
  }
  form_.Label18->setText(text_of(time_text(tracks.field_by_name("TRACKTOTAL").as_integer() / 1000)));
  return header_found;
}

void PlayerControl::PauseClick() {
  guarded([this] {
    switch (player_.player_state()) {
      case Playing:
        player_.pause_run();
        break;
      case Paused:
        PlayClick();
        break;
      default:
        break;
    }
  });
}

void PlayerControl::StopClick() {
  guarded([this] {
    const PlayerState state = player_.player_state();
    // Also a track that goes on after Prior or Next without Auto Play: Stop silences what is heard.
    if (state == Paused || state == Playing || state == Finished || sounding()) {
      player_.close_run();
      player_.set_player_state(Stopped);
      form_.Stop->setChecked(true);
    }
  });
}

void PlayerControl::PriorClick() {
  if (!in_idle_) list_restarted_ = false;
  guarded([this] {
    Table& tracks = db_.Table1;
    if (!tracks.is_open() || tracks.at_beginning()) return;
    player_.set_player_state(Stopped);  // a track that plays goes on until Play closes its run
    Playlist& list = playlist_.playlist();
    const int start = list.cursor();
    bool found = false;
    do {
      if (list.cursor() > 0) list.set_cursor(list.cursor() - 1);
      found = playlist_.go_to_track(list.entry(list.position()));
      if (playlist_.lookup_failed()) {  // told once, not once per entry
        list.set_cursor(start);
        return;
      }
    } while (!found && list.cursor() > 0);
    if (refreshed_setting(db_.Table2, "AUTOPLAY") && found) PlayClick();
  });
}

void PlayerControl::NextClick() {
  if (!in_idle_) list_restarted_ = false;
  guarded([this] {
    Table& tracks = db_.Table1;
    if (!tracks.is_open() || tracks.at_end()) return;
    const int last = tracks.record_count() - 1;
    player_.set_player_state(Stopped);  // as in Prior, the run is not closed here
    const bool autoplay = refreshed_setting(db_.Table2, "AUTOPLAY");
    Playlist& list = playlist_.playlist();
    const int start = list.cursor();
    const auto advance = [&] {
      if (list.cursor() < last) list.set_cursor(list.cursor() + 1);
      return playlist_.go_to_track(list.entry(list.position()));
    };
    if (!autoplay) {
      // Only the selection moves; Auto Skip is not looked at.
      while (!advance() && !playlist_.lookup_failed() && list.cursor() < last) {
      }
      if (playlist_.lookup_failed()) list.set_cursor(start);
      return;
    }
    bool found = false;
    for (;;) {
      found = advance();
      if (playlist_.lookup_failed()) {  // told once, not once per entry
        list.set_cursor(start);
        return;
      }
      if (!found) {
        if (list.cursor() < last) continue;
        break;
      }
      if (tracks.field_by_name("SKIP").as_boolean()) {
        if (!tracks.at_end() && list.cursor() < last) continue;
        found = false;  // a skipped last entry ends the list
      }
      break;
    }
    if (tracks.at_end() || !found) {
      player_.set_player_state(Finished);
    } else {
      PlayClick();
    }
  });
}

// --- Position bar ---

void PlayerControl::RzTrackBar1MouseDown() {
  key_seek_timer_->stop();
  key_seek_pending_ = false;
  dragging_ = true;
  drag_run_ = runs_started_;
}

void PlayerControl::RzTrackBar1MouseUp() {
  guarded([this] {
    const PlayerState state = player_.player_state();
    // A drag begun on a track that has ended meanwhile (the next one plays) asks nothing of the new track.
    if (dragging_ && drag_run_ != runs_started_) {
      form_.RzTrackBar1->setValue(shown_frame());
    } else if (state == Playing || state == Paused) {
      seek(form_.RzTrackBar1->value());
    } else {
      form_.RzTrackBar1->setValue(0);
    }
    dragging_ = false;
  });
}

void PlayerControl::seek(int frame) {
  player_.request_seek(static_cast<unsigned>(std::max(0, frame)));
  emit seeked(microseconds(frame));
}

void PlayerControl::bar_moved_by_keys() {
  if (!key_seek_pending_) {
    RzTrackBar1MouseDown();
    key_seek_pending_ = true;
  }
  key_seek_timer_->start();
}

void PlayerControl::commit_key_seek() {
  if (!key_seek_pending_) return;
  key_seek_timer_->stop();
  key_seek_pending_ = false;
  RzTrackBar1MouseUp();
}

bool PlayerControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_.RzTrackBar1) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        mouse_on_bar_ = true;
        RzTrackBar1MouseDown();
        break;
      case QEvent::MouseButtonRelease:
        mouse_on_bar_ = false;
        // After the bar has taken the release, so that its position is final.
        QMetaObject::invokeMethod(this, &PlayerControl::RzTrackBar1MouseUp, Qt::QueuedConnection);
        break;
      case QEvent::KeyRelease:
        if (!static_cast<QKeyEvent*>(event)->isAutoRepeat() && key_seek_pending_)
          QMetaObject::invokeMethod(this, &PlayerControl::commit_key_seek, Qt::QueuedConnection);
        break;
      case QEvent::FocusOut:
        commit_key_seek();
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

int64_t PlayerControl::microseconds(int32_t frame) const {
  return std::llround(static_cast<double>(frame) * player_.frame_duration() * 1000.0);
}

int32_t PlayerControl::shown_frame() const {
  return end_seen_ ? 0 : player_.heard_frame();
}

int64_t PlayerControl::position_us() const {
  return player_.run_open() ? microseconds(shown_frame()) : 0;
}

void PlayerControl::seek_to_us(int64_t position_us) {
  guarded([this, position_us] {
    const PlayerState state = player_.player_state();
    const double duration_us = player_.frame_duration() * 1000.0;
    if ((state != Playing && state != Paused) || duration_us <= 0) {
      form_.RzTrackBar1->setValue(0);
      return;
    }
    const double frame = std::clamp(static_cast<double>(position_us) / duration_us, 0.0,
                                    static_cast<double>(form_.RzTrackBar1->maximum()));
    form_.RzTrackBar1->setValue(static_cast<int>(frame));
    seek(form_.RzTrackBar1->value());
  });
}

// --- The idle rules ---

void PlayerControl::MyIdleHandler() {
  // A message box opened by these rules runs the event loop, and with it this timer: no second pass inside.
  if (in_idle_) return;
  in_idle_ = true;
  bool failed = true;
  guarded([&] {
    if (player_.run_open()) {
      const int32_t frame = shown_frame();
      const auto seconds = static_cast<unsigned>(std::max(0.0, frame * player_.frame_duration() * 0.001));
      if (seconds != shown_seconds_) {
        form_.Label17->setText(text_of(time_text(seconds)));
        if (!dragging_) form_.RzTrackBar1->setValue(frame);
      }
      shown_seconds_ = seconds;
      // An end reached while paused (a seek past the last frame) waits for Play, as the pause asked.
      if (player_.done() && player_.player_state() != Paused) {
        if (form_.CheckBox2->isChecked() && !end_seen_) {
          repeat_track();
        } else {
          player_.set_player_state(Ready);
          end_seen_ = true;
        }
      }
    }
    Table& tracks = db_.Table1;
    if (player_.player_state() == Ready && tracks.is_open() &&
        tracks.record_count() == playlist_.playlist().cursor() + 1)
      player_.set_player_state(Finished);

    show_state();
    switch (player_.player_state()) {
      case Ready: {
        const bool autoplay = refreshed_setting(db_.Table2, "AUTOPLAY");
        player_.set_player_state(Stopped);
        if (autoplay) NextClick();
        break;
      }
      case Finished: {
        // A pass through the list that started nothing (every entry skipped or filtered out) ends Nonstop
        // Play; starting the list again would loop here for ever.
        const bool nothing_started = list_restarted_ && runs_started_ == runs_at_restart_;
        if (refreshed_setting(db_.Table2, "CONTINUE") && !nothing_started) {
          list_restarted_ = true;
          runs_at_restart_ = runs_started_;
          playlist_.playlist().set_cursor(-1);
          player_.set_player_state(Ready);  // the next call starts the list from its first entry
        } else {
          if (nothing_started) {
            list_restarted_ = false;
            // Short enough for the status bar of the window at its smallest.
            form_.RzStatusBar1->showMessage(QStringLiteral("Nonstop Play stopped: every track is passed over"),
                                            kNothingToPlayMessageMs);
          }
          StopClick();
        }
        break;
      }
      default:
        break;
    }
    failed = false;
  });
  // Rules that cannot be followed (the tables fail) end the run rather than fail again at every tick.
  if (failed) {
    player_.close_run();
    player_.set_player_state(Stopped);
  }
  in_idle_ = false;
  schedule_idle();
}

void PlayerControl::forget_closed_library() {
  if (db_.Table1.is_open() || player_.run_open()) return;
  // The times of a track of a library no longer open say nothing of what the window now holds.
  shown_seconds_ = 0;
  form_.Label17->setText(text_of(time_text(0)));
  form_.Label18->setText(text_of(time_text(0)));
  form_.RzTrackBar1->setValue(0);
}

void PlayerControl::repeat_track() {
  player_.set_player_state(Stopped);
  if (db_.Table1.record_number() != run_record_) playlist_.go_to_track(run_record_);
  PlayClick();
}

void PlayerControl::show_state() {
  shown_state_ = player_.player_state();
  const QString text = QString::fromLatin1(player_state_text(shown_state_));
  if (form_.RzStatusPane1->text() != text) form_.RzStatusPane1->setText(text);
  // The buttons show what is heard, also after a press that changed nothing (Pause while stopped).
  QToolButton* down = form_.Stop;
  if (player_.player_state() == Paused) {
    down = form_.Pause;
  } else if (player_.player_state() == Playing || sounding()) {
    down = form_.Play;
  }
  if (!down->isChecked()) down->setChecked(true);
}

bool PlayerControl::sounding() const {
  const MP_INIT* thread = player_.decode_thread();
  return player_.run_open() && player_.player_state() != Paused && thread && !thread->finished() &&
         !thread->suspended();
}

void PlayerControl::wake() {
  if (!idle_timer_->isActive() || idle_timer_->interval() != 0) idle_timer_->start(0);
}

void PlayerControl::schedule_idle() {
  const PlayerState state = player_.player_state();
  int period = -1;
  if (state == Ready || state == Finished) {
    period = 0;
  } else if (sounding()) {
    period = kPlayingPeriodMs;
  } else if (player_.run_open()) {
    period = kWaitingPeriodMs;
  } else if (state != shown_state_) {
    period = 0;  // one more pass shows the state reached after this one showed its own (Stop at the end)
  }
  if (period < 0) {
    idle_timer_->stop();
  } else if (!idle_timer_->isActive() || idle_timer_->interval() != period) {
    idle_timer_->start(period);
  }
}

int PlayerControl::idle_interval() const {
  return idle_timer_->isActive() ? idle_timer_->interval() : -1;
}

// --- Observers ---

void PlayerControl::publish_soon() {
  if (publish_pending_) return;
  publish_pending_ = true;
  QMetaObject::invokeMethod(this, &PlayerControl::publish, Qt::QueuedConnection);
}

void PlayerControl::publish() {
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
