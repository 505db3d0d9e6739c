#include "playlist_control.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

#include "data.h"
#include "eliding_label.h"
#include "error_box.h"
#include "main_window.h"
#include "rows.h"
#include "transport.h"

namespace vemla {

PlaylistControl::PlaylistControl(TForm1& form, Tdb& db, Transport& transport, QObject* parent)
    : QObject(parent), form_(form), db_(db), transport_(transport), playlist_(transport.playlist()) {
  connect(form.Reset, &QToolButton::clicked, this, &PlaylistControl::ResetClick);
  connect(form.Shuffle, &QToolButton::clicked, this, &PlaylistControl::ShuffleClick);
  connect(form.Arrange, &QToolButton::clicked, this, &PlaylistControl::ArrangeClick);
  connect(form.RzCheckList1, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (!showing_checks_) RzCheckList1Changing(form_.RzCheckList1->row(item), item->checkState() == Qt::Checked);
  });
  // The filter counts for the next step at once, also for the track that is to follow the one playing.
  connect(form.ComboBox1, &QComboBox::currentIndexChanged, this, [this] {
    take_filter();
    transport_.following_may_change();
  });
  connect(&transport_, &Transport::current_changed, this, &PlaylistControl::show_current);
}

PlaylistControl::~PlaylistControl() = default;

Playlist& PlaylistControl::playlist() { return playlist_; }
void PlaylistControl::set_draw(Draw draw) { fixed_draw_ = std::move(draw); }

void PlaylistControl::set_arrange_progress_delays(int quiet_ms, int show_ms, int report_ms) {
  arrange_quiet_ms_ = quiet_ms;
  arrange_show_ms_ = show_ms;
  arrange_report_ms_ = report_ms;
}

template <typename F>
bool PlaylistControl::guarded(F handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
    return false;
  }
}

void PlaylistControl::take_filter() {
  playlist_.set_filter(std::clamp(form_.ComboBox1->currentIndex(), 0, 64));
}

Draw PlaylistControl::draw() {
  if (fixed_draw_) return fixed_draw_;
  const auto now = std::chrono::system_clock::now().time_since_epoch().count();
  auto generator = std::make_shared<std::mt19937_64>(static_cast<uint64_t>(now));
  return [generator](uint32_t count) { return std::uniform_int_distribution<uint32_t>(0, count - 1)(*generator); };
}

bool PlaylistControl::go_to_track(int32_t record) {
  guarded([this] { take_filter(); });
  return transport_.go_to_track(record);
}

void PlaylistControl::show_current(bool found) {
  // The ticks follow the track shown even when the filter leaves it out, so that a tick lands on the
  // track whose categories it shows.
  if (found) {
    refresh_playlist_label();
  } else {
    refresh_category_checks();
  }
  form_.RzStatusPane2->setText(found ? QStringLiteral("Found") : QStringLiteral("Not Found"));
}

void PlaylistControl::ResetClick() {
  transport_.stop();
  guarded([this] {
    take_filter();
    playlist_.reset();
  });
  transport_.list_changed(ListChange::Reset);
  refresh_playlist_label();
}

void PlaylistControl::ShuffleClick() {
  transport_.stop();
  guarded([this] { playlist_.shuffle(draw()); });
  // The entry at the cursor becomes current, so that the next step starts from what is shown.
  transport_.list_changed(ListChange::Shuffle);
  refresh_playlist_label();
}

void PlaylistControl::ArrangeClick() {
  transport_.stop();
  guarded([this] { arrange_with_progress(draw()); });
  {
    const QSignalBlocker quiet(form_.ComboBox1);
    form_.ComboBox1->setCurrentIndex(0);  // arranged over every track
  }
  transport_.list_changed(ListChange::Arrange);
  refresh_playlist_label();
}

void PlaylistControl::arrange_with_progress(const Draw& draw) {
  // Until the window shows nothing else runs, so that no handler can change the list under the arrangement;
  // once shown it is modal over the main window and lets the program breathe. It shows only when the work
  // goes on after a quiet moment and its estimate says it will take longer still.
  std::unique_ptr<QProgressDialog> window;
  QElapsedTimer clock;
  clock.start();
  qint64 reported = -arrange_report_ms_;
  playlist_.arrange(draw, [&](size_t done, size_t total) {
    const qint64 now = clock.elapsed();
    if (now < arrange_quiet_ms_ || now - reported < arrange_report_ms_) return true;
    reported = now;
    if (!window) {
      window = std::make_unique<QProgressDialog>(QStringLiteral("Arranging the playlist by categories..."),
                                                 QStringLiteral("Cancel"), 0, 1000, &form_);
      window->setWindowTitle(QStringLiteral("Arrange"));
      window->setWindowModality(Qt::WindowModal);
      window->setMinimumDuration(arrange_show_ms_);
      window->setValue(0);
    }
    window->setValue(static_cast<int>(done * 1000 / std::max<size_t>(total, 1)));
    return !window->wasCanceled();
  });
}

void PlaylistControl::RzCheckList1Changing(int index, bool ticked) {
  if (index < 0 || index >= 64) return;
  Table& tracks = db_.Table1;
  bool written = false;
  guarded([&] {
    // A read-only library keeps its categories: the tick is put back below.
    if (!tracks.is_open() || tracks.record_count() == 0 || tracks.read_only()) return;
    tracks.edit();
    tracks.field_by_position(index).set_boolean(ticked);
    tracks.refresh();
    written = true;
  });
  if (!written) refresh_category_checks();
}

void PlaylistControl::refresh_category_captions() {
  guarded([this] {
    Table& names = db_.Table3;
    const bool named = names.is_open() && names.record_count() > 0;
    const QSignalBlocker quiet(form_.ComboBox1);
    showing_checks_ = true;
    for (int k = 0; k < 64; ++k) {
      QString name;
      if (named) name = QString::fromStdString(get(names, CategoryTable::name(k + 1)));
      if (name.isEmpty()) name = QString::number(k + 1);  // an unnamed category goes by its number
      QListWidgetItem* item = form_.RzCheckList1->item(k);
      item->setText(name);
      item->setFlags(item->flags() | Qt::ItemIsEnabled);
      form_.ComboBox1->setItemText(k + 1, name);
    }
    showing_checks_ = false;
    form_.ComboBox1->setCurrentIndex(0);
    playlist_.set_filter(0);
  });
  showing_checks_ = false;
}

void PlaylistControl::refresh_playlist_label() {
  ElidingLabel* label = form_.RzLabel1;
  // What can be seen of the list, with room to spare; the label elides the rest at its end.
  const int digit = std::max(1, label->fontMetrics().horizontalAdvance(QLatin1Char('0')));
  const size_t visible = static_cast<size_t>(std::max(256, 2 * label->width() / digit));
  label->setText(QString::fromStdString(playlist_.label_text(visible)));
  refresh_category_checks();
}

void PlaylistControl::refresh_category_checks() {
  CategoryMask mask = 0;
  guarded([&] { mask = playlist_.current_categories(); });
  showing_checks_ = true;
  for (int k = 0; k < 64; ++k) {
    QListWidgetItem* item = form_.RzCheckList1->item(k);
    const Qt::CheckState state = (mask >> k & 1) ? Qt::Checked : Qt::Unchecked;
    if (item->checkState() != state) item->setCheckState(state);
  }
  showing_checks_ = false;
}

}  // namespace vemla
