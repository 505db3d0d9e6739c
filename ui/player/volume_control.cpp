#include "volume_control.h"

#include <QSettings>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <algorithm>

#include "gain_stage.h"
#include "look.h"
#include "main_window.h"
#include "player.h"

namespace vemla {

namespace {

constexpr const char* kVolumeKey = "Volume";
constexpr const char* kMutedKey = "Muted";

}  // namespace

VolumeControl::VolumeControl(TForm1& form, Player& player, QObject* parent)
    : QObject(parent), form_(form), player_(player) {
  const QSettings settings;
  bool ok = false;
  const int kept = settings.value(QString::fromLatin1(kVolumeKey), 100).toInt(&ok);
  form_.volumeSlider->setValue(ok ? std::clamp(kept, 0, 100) : 100);
  form_.Mute->setChecked(settings.value(QString::fromLatin1(kMutedKey), false).toBool());
  apply();
  connect(form_.volumeSlider, &QSlider::valueChanged, this, [this](int value) {
    // Moving the volume is meant to be heard.
    if (value > 0 && form_.Mute->isChecked()) form_.Mute->setChecked(false);
    QSettings().setValue(QString::fromLatin1(kVolumeKey), value);
    apply();
  });
  connect(form_.Mute, &QToolButton::toggled, this, [this](bool muted) {
    QSettings().setValue(QString::fromLatin1(kMutedKey), muted);
    apply();
  });
}

void VolumeControl::step(int steps) {
  form_.volumeSlider->setValue(form_.volumeSlider->value() + steps * form_.volumeSlider->singleStep());
}

void VolumeControl::apply() {
  const int value = form_.volumeSlider->value();
  const bool muted = form_.Mute->isChecked();
  player_.set_volume(muted ? 0.0 : volume_factor(value / 100.0));
  const char* icon = muted || value == 0 ? "audio-volume-muted"
                     : value < 34        ? "audio-volume-low"
                     : value < 67        ? "audio-volume-medium"
                                         : "audio-volume-high";
  form_.Mute->setIcon(theme_icon(icon, muted || value == 0 ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
  form_.Mute->setToolTip(muted ? QStringLiteral("Unmute") : QStringLiteral("Mute"));
  form_.volumeSlider->setToolTip(QStringLiteral("Volume %1%").arg(value));
}

}  // namespace vemla
