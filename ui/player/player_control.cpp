#include "player_control.h"

#include <QAbstractSlider>
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

#include "data.h"
#include "main_window.h"
#include "rows.h"
#include "track_facts.h"
#include "transport.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

// While sound comes out the displays follow within a tenth of a second; a paused run is looked at twice a
// second (a seek moves its time); otherwise the timer rests.
constexpr int kPlayingPeriodMs = 50;
constexpr int kPausedPeriodMs = 500;
// Keyboard and wheel moves of the position bar seek once the keys have rested this long.
constexpr int kKeySeekDelayMs = 400;
// Arrow keys move the bar by 5 seconds, page keys by 30.
constexpr float kStepMs = 5000.0f;
constexpr int kPagesPerStep = 6;
// How long the status bar keeps what the transport says.
constexpr int kStatusMessageMs = 15000;

QString text_of(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// The track table: another row, or the library opened or closed, changes the total time shown.
class PlayerControl::Watcher final : public DataObserver {
 public:
  explicit Watcher(PlayerControl& owner) : owner_(owner) {}
  void row_changed(DataSource&) override { owner_.show_total_soon(); }
  // At once: a library closed leaves nothing of its tracks on show.
  void state_changed(DataSource&) override { owner_.show_total(); }

 private:
  PlayerControl& owner_;
};

PlayerControl::PlayerControl(TForm1& form, Transport& transport, Tdb& db, QObject* parent)
    : QObject(parent),
      form_(form),
      transport_(transport),
      db_(db),
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
  connect(form.CheckBox2, &QCheckBox::toggled, &transport_, &Transport::set_repeat_track);
  connect(&transport_, &Transport::options_changed, this, [this] {
    if (form_.CheckBox2->isChecked() != transport_.repeat_track()) form_.CheckBox2->setChecked(transport_.repeat_track());
  });
  // Mouse presses anywhere on the bar (handle or groove) are MouseDown and MouseUp; keys and the wheel move
  // it without a press.
  form.RzTrackBar1->installEventFilter(this);
  connect(form.RzTrackBar1, &QAbstractSlider::actionTriggered, this, [this](int action) {
    if (!mouse_on_bar_ && action != QAbstractSlider::SliderNoAction) bar_moved_by_keys();
  });

  connect(&transport_, &Transport::state_changed, this, [this] {
    show_state();
    show_total();  // without a run, the row's length again
    MyIdleHandler();
  });
  connect(&transport_, &Transport::run_opened, this, &PlayerControl::run_opened);
  connect(&transport_, &Transport::seeked, this, [this](qint64 position_us) {
    const double frame_us = transport_.player().frame_duration() * 1000.0;
    if (!dragging_ && frame_us > 0) form_.RzTrackBar1->setValue(static_cast<int>(std::lround(position_us / frame_us)));
    schedule();
  });
  connect(&transport_, &Transport::status_message, this,
          [this](const QString& text) { form_.RzStatusBar1->showMessage(text, kStatusMessageMs); });
  db_.data.attach(*watcher_);
  show_state();
}

PlayerControl::~PlayerControl() { db_.data.detach(*watcher_); }

Transport& PlayerControl::transport() { return transport_; }
Player& PlayerControl::player() { return transport_.player(); }
PlayerState PlayerControl::player_state() const { return transport_.state(); }

fs::path PlayerControl::temporary_file() const { return transport_.temporary_file(); }
void PlayerControl::delete_temporary_file() { transport_.delete_temporary_file(); }

int64_t PlayerControl::position_us() const { return transport_.position_us(); }

void PlayerControl::seek_to_us(int64_t position_us) {
  if (!transport_.seek_to_us(position_us)) form_.RzTrackBar1->setValue(0);
}

// --- The buttons ---

void PlayerControl::PlayClick() {
  transport_.play();
  show_state();
}

void PlayerControl::PauseClick() {
  transport_.pause();
  show_state();
}

void PlayerControl::StopClick() {
  transport_.stop();
  show_state();
}

void PlayerControl::PriorClick() {
  transport_.prior();
  show_state();
}

void PlayerControl::NextClick() {
  transport_.next();
  show_state();
}

// --- Position bar ---

void PlayerControl::RzTrackBar1MouseDown() {
  key_seek_timer_->stop();
  key_seek_pending_ = false;
  dragging_ = true;
  drag_run_ = transport_.runs_started();
}

void PlayerControl::RzTrackBar1MouseUp() {
  // A drag begun on a track that has ended meanwhile (the next one plays) asks nothing of the new track.
  if (dragging_ && drag_run_ != transport_.runs_started()) {
    form_.RzTrackBar1->setValue(transport_.shown_frame());
  } else if (!transport_.seek(form_.RzTrackBar1->value())) {
    form_.RzTrackBar1->setValue(0);
  }
  dragging_ = false;
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

// --- What is shown ---

void PlayerControl::run_opened() {
  Player& player = transport_.player();
  form_.RzTrackBar1->setMaximum(transport_.run_frames());
  if (player.frame_duration() > 0) {
    const int step = std::max(1, static_cast<int>(std::lround(kStepMs / player.frame_duration())));
    form_.RzTrackBar1->setSingleStep(step);
    form_.RzTrackBar1->setPageStep(step * kPagesPerStep);
  }
  show_total();
  MyIdleHandler();
}

void PlayerControl::MyIdleHandler() {
  const int32_t frame = transport_.shown_frame();
  const auto seconds =
      static_cast<unsigned>(std::max(0.0, frame * static_cast<double>(transport_.player().frame_duration()) * 0.001));
  if (seconds != shown_seconds_ || (!dragging_ && form_.RzTrackBar1->value() != frame && seconds == 0)) {
    form_.Label17->setText(text_of(time_text(seconds)));
    if (!dragging_) form_.RzTrackBar1->setValue(frame);
  }
  shown_seconds_ = seconds;
  schedule();
}

void PlayerControl::show_total_soon() {
  if (total_pending_) return;
  total_pending_ = true;
  QMetaObject::invokeMethod(this, &PlayerControl::show_total, Qt::QueuedConnection);
}

void PlayerControl::show_total() {
  total_pending_ = false;
  Table& tracks = db_.Table1;
  int total_ms = 0;
  try {
    if (tracks.is_open() && tracks.record_count() > 0) {
      // The track heard, as the run hears it where it knows better than the row.
      const bool heard = transport_.run_record() == tracks.record_number() && transport_.run_length_ms() >= 0;
      total_ms = heard ? transport_.run_length_ms() : get(tracks, TrackTable::tracktotal);
    }
  } catch (const std::exception&) {
    // A row that cannot be read shows no length; the commands report the table's errors.
  }
  form_.Label18->setText(text_of(time_text(std::max(0, total_ms) / 1000)));
  if (!tracks.is_open() && !transport_.player().run_open()) {
    // The time of a track of a library no longer open says nothing of what the window now holds.
    shown_seconds_ = 0;
    form_.Label17->setText(text_of(time_text(0)));
    form_.RzTrackBar1->setValue(0);
  }
}

void PlayerControl::show_state() {
  const PlayerState state = transport_.state();
  const QString text = QString::fromLatin1(player_state_text(state));
  if (form_.RzStatusPane1->text() != text) form_.RzStatusPane1->setText(text);
  // The buttons show what is heard, also after a press that changed nothing (Pause while stopped).
  QToolButton* down = state == Paused ? form_.Pause : state == Playing ? form_.Play : form_.Stop;
  if (!down->isChecked()) down->setChecked(true);
  schedule();
}

void PlayerControl::schedule() {
  const PlayerState state = transport_.state();
  const bool run_open = transport_.player().run_open();
  int period = -1;
  if (run_open && state == Playing) {
    period = kPlayingPeriodMs;
  } else if (run_open && state == Paused) {
    period = kPausedPeriodMs;
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

}  // namespace vemla
