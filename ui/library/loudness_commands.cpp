#include "loudness_commands.h"

#include <QAction>
#include <QMenu>
#include <QStatusBar>
#include <memory>

#include "data.h"
#include "error_box.h"
#include "gain_job.h"
#include "library_work.h"
#include "main_window.h"
#include "user_dialogs.h"

namespace vemla {

namespace {

constexpr int kStatusTime = 8000;    // ms a result stays in the status bar
constexpr qsizetype kListedTracks = 20;

QString counted(qsizetype count, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

}  // namespace

LoudnessCommands::LoudnessCommands(TForm1& form, Tdb& db, LibraryWork& work, QObject* parent)
    : QObject(parent), form_(form), db_(db), work_(work) {
  connect(form.LoudnessTrack1, &QAction::triggered, this, &LoudnessCommands::LoudnessTrack1Click);
  connect(form.LoudnessAll1, &QAction::triggered, this, &LoudnessCommands::LoudnessAll1Click);
  connect(&work, &LibraryWork::running_changed, this, &LoudnessCommands::update_items);
  update_items();
}

// Like the other work on the track table, one scan at a time and none while other work runs.
void LoudnessCommands::update_items() {
  const bool idle = !work_.running();
  form_.Loudness1->menuAction()->setEnabled(idle);
  form_.LoudnessTrack1->setEnabled(idle);
  form_.LoudnessAll1->setEnabled(idle);
}

void LoudnessCommands::LoudnessTrack1Click() {
  analyse(GainScope::AlbumOf);
}

void LoudnessCommands::LoudnessAll1Click() {
  analyse(GainScope::All);
}

void LoudnessCommands::analyse(GainScope scope) {
  if (!db_.Table1.is_open() || work_.running()) return;
  if (db_.Table1.record_count() == 0) {
    form_.RzStatusBar1->showMessage(QStringLiteral("There are no tracks to analyse; add some with Track > Add"),
                                    kStatusTime);
    return;
  }
  std::unique_ptr<GainJob> job;
  try {
    db_.Table1.post();  // an edit in progress is kept before the job moves the row
    job = std::make_unique<GainJob>(db_.Table1, scope, db_.Table1.record_number());
  } catch (const std::exception& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
    return;
  }
  GainJob* scan = job.get();
  work_.start(std::move(job), QStringLiteral("Analysing loudness"), nullptr,
              {nullptr, [this, scan] { analysed(*scan); }});
}

void LoudnessCommands::analysed(const GainJob& job) {
  QStringList failed;
  for (const GainOutcome& outcome : job.outcomes()) {
    if (!outcome.failed.empty())
      failed << QStringLiteral("track %1, %2: %3")
                    .arg(outcome.record)
                    .arg(shown_path(outcome.file), QString::fromStdString(outcome.failed));
  }
  const QString measured = counted(job.measured(), "track", "tracks");
  if (!job.error().empty()) {
    show_error(&form_, QStringLiteral("%1\n\nThe loudness of %2 was kept before the work stopped.")
                           .arg(QString::fromUtf8(job.error()), measured));
  } else {
    QString summary = job.cancelled() ? QStringLiteral("Analysing cancelled: the loudness of %1 kept")
                                      : QStringLiteral("The loudness of %1 measured");
    summary = summary.arg(measured);
    if (!failed.isEmpty()) summary += QStringLiteral(", %1 not measured").arg(failed.size());
    form_.RzStatusBar1->showMessage(summary, kStatusTime);
  }
  if (failed.isEmpty()) return;
  QString text = QStringLiteral("The loudness of these tracks could not be measured:");
  for (qsizetype i = 0; i < failed.size() && i < kListedTracks; ++i) text += '\n' + failed[i];
  if (failed.size() > kListedTracks) text += QStringLiteral("\n... and %1 more").arg(failed.size() - kListedTracks);
  tell_user(text, MessageIcon::Warning);
}

}  // namespace vemla
