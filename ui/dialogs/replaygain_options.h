// The ReplayGain group of the Options dialog's MPEG page: mode, pre-amp, clipping prevention and the gain of
// tracks without any. Kept with QSettings beside the window's geometry ("ReplayGain", "ReplayGainPreamp",
// "ReplayGainPreventClipping", "ReplayGainFallback"), written at once; the player reads them at the next track.
#pragma once

#include <QGroupBox>

#include "gain_stage.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;

namespace vemla {

class ReplayGainOptions : public QGroupBox {
  Q_OBJECT
 public:
  explicit ReplayGainOptions(QWidget* parent = nullptr);

  // As kept; the defaults (off, 0 dB, clipping prevented, 0 dB) where nothing is. Out-of-range values are
  // brought within range. The volume is left at 1.
  static GainSettings kept();
  static void keep(const GainSettings& settings);

  // Shows the kept choices (the dialog is shown anew).
  void show_kept();

  QComboBox* Mode;             // "Off", "Track", "Album"
  QDoubleSpinBox* Preamp;      // dB, -15 ... +15
  QCheckBox* PreventClipping;  // "Prevent clipping"
  QDoubleSpinBox* Fallback;    // dB for tracks without a gain

 signals:
  // The user changed a choice (already kept).
  void changed();

 private:
  void keep_shown();
  bool showing_ = false;
};

}  // namespace vemla
