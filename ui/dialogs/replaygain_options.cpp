#include "replaygain_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSettings>
#include <algorithm>
#include <cmath>

#include "look.h"

namespace vemla {

namespace {

constexpr const char* kModeKey = "ReplayGain";
constexpr const char* kPreampKey = "ReplayGainPreamp";
constexpr const char* kClippingKey = "ReplayGainPreventClipping";
constexpr const char* kFallbackKey = "ReplayGainFallback";

QString key(const char* name) { return QString::fromLatin1(name); }

// A kept number in dB, within the pre-amp's range; 0 when it is not a number.
double kept_db(const QSettings& settings, const char* name) {
  bool ok = false;
  const double db = settings.value(key(name), 0.0).toDouble(&ok);
  if (!ok || !std::isfinite(db)) return 0.0;
  return std::clamp(db, -kMaxPreamp, kMaxPreamp);
}

QDoubleSpinBox* db_box(QWidget* parent, const char* name) {
  auto* box = named(new QDoubleSpinBox(parent), name);
  box->setRange(-kMaxPreamp, kMaxPreamp);
  box->setSingleStep(0.5);
  box->setDecimals(1);
  box->setSuffix(QStringLiteral(" dB"));
  return box;
}

}  // namespace

ReplayGainOptions::ReplayGainOptions(QWidget* parent) : QGroupBox(QStringLiteral("ReplayGain"), parent) {
  setObjectName(QStringLiteral("ReplayGainOptions"));
  setAccessibleName(title());
  Mode = named(new QComboBox(this), "ReplayGainMode");
  Mode->addItems({QStringLiteral("Off"), QStringLiteral("Track"), QStringLiteral("Album")});
  hint(Mode, QStringLiteral("Play each track at the loudness its ReplayGain values give: its own (Track) or its "
                            "album's, so that an album keeps its quiet and loud songs (Album; a track without an "
                            "album gain takes its own)"));
  Preamp = db_box(this, "ReplayGainPreamp");
  hint(Preamp, QStringLiteral("Added to every track's ReplayGain"));
  PreventClipping = named(new QCheckBox(QStringLiteral("Prevent clipping"), this), "PreventClipping");
  hint(PreventClipping, QStringLiteral("Lower a track's gain where its loudest sample would go beyond full scale"));
  Fallback = db_box(this, "ReplayGainFallback");
  hint(Fallback, QStringLiteral("The gain of tracks that have no ReplayGain values"));
  auto* note = new QLabel(QStringLiteral("Changes apply from the next track on."), this);
  note->setObjectName(QStringLiteral("ReplayGainNote"));

  auto* form = new QFormLayout(this);
  form->addRow(QStringLiteral("&Mode:"), Mode);
  form->addRow(QStringLiteral("&Pre-amp:"), Preamp);
  form->addRow(QString(), PreventClipping);
  form->addRow(QStringLiteral("&Without ReplayGain:"), Fallback);
  form->addRow(note);
  for (QWidget* w : {static_cast<QWidget*>(Mode), static_cast<QWidget*>(Preamp), static_cast<QWidget*>(Fallback)}) {
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(w))) w->setAccessibleName(label->text().remove('&'));
  }
  PreventClipping->setAccessibleName(PreventClipping->text());

  show_kept();
  connect(Mode, &QComboBox::currentIndexChanged, this, &ReplayGainOptions::keep_shown);
  connect(Preamp, &QDoubleSpinBox::valueChanged, this, &ReplayGainOptions::keep_shown);
  connect(PreventClipping, &QCheckBox::toggled, this, &ReplayGainOptions::keep_shown);
  connect(Fallback, &QDoubleSpinBox::valueChanged, this, &ReplayGainOptions::keep_shown);
}

GainSettings ReplayGainOptions::kept() {
  const QSettings settings;
  GainSettings gains;
  if (!replaygain_mode_from_text(settings.value(key(kModeKey)).toString().toStdString(), gains.mode))
    gains.mode = ReplayGainMode::Off;
  gains.preamp = kept_db(settings, kPreampKey);
  gains.prevent_clipping = settings.value(key(kClippingKey), true).toBool();
  gains.fallback_gain = kept_db(settings, kFallbackKey);
  return gains;
}

void ReplayGainOptions::keep(const GainSettings& gains) {
  QSettings settings;
  settings.setValue(key(kModeKey), QString::fromLatin1(replaygain_mode_text(gains.mode)));
  settings.setValue(key(kPreampKey), gains.preamp);
  settings.setValue(key(kClippingKey), gains.prevent_clipping);
  settings.setValue(key(kFallbackKey), gains.fallback_gain);
}

void ReplayGainOptions::show_kept() {
  const GainSettings gains = kept();
  showing_ = true;
  Mode->setCurrentIndex(static_cast<int>(gains.mode));
  Preamp->setValue(gains.preamp);
  PreventClipping->setChecked(gains.prevent_clipping);
  Fallback->setValue(gains.fallback_gain);
  showing_ = false;
}

void ReplayGainOptions::keep_shown() {
  if (showing_) return;
  GainSettings gains;
  gains.mode = static_cast<ReplayGainMode>(std::clamp(Mode->currentIndex(), 0, 2));
  gains.preamp = Preamp->value();
  gains.prevent_clipping = PreventClipping->isChecked();
  gains.fallback_gain = Fallback->value();
  keep(gains);
  emit changed();
}

}  // namespace vemla
