// The Options dialog's "Sound" page: the sound device Vemla plays on, chosen among the system's ALSA PCMs
// ("default" first) and kept with QSettings beside the window's geometry ("SoundDevice"). A choice reaches
// the player's device at once and is heard from the next track on. While the environment variable
// VEMLA_AUDIO names the device the page says so and the choice waits, kept, until it is unset.
#pragma once

#include <QObject>
#include <QString>
#include <vector>

#include "alsa_pcm_list.h"

class QComboBox;
class QDialog;
class QLabel;
class QStatusBar;
class QWidget;

namespace vemla {

class ChosenDevice;

class SoundDevicePage : public QObject {
  Q_OBJECT
 public:
  // Adds the page after the dialog's first page and gives `device` the kept choice; notes of `device` (a
  // chosen device that is gone) are shown in `status`. Every reference must outlive the object.
  SoundDevicePage(ChosenDevice& device, QDialog& options, QStatusBar& status, QObject* parent = nullptr);
  ~SoundDevicePage() override;

  // The kept choice: a PCM name, "default" when none was made.
  static QString kept_choice();
  static void keep_choice(const QString& pcm);
  // The value of VEMLA_AUDIO when it names the device, else empty.
  static QString environment_choice();

  // The devices listed anew (the dialog does so each time it shows): `devices` as the system has them now.
  void show_devices(const std::vector<PcmDevice>& devices);

  QWidget* SoundPage;
  QComboBox* SoundDevice;   // "Sound device"
  QLabel* SoundDeviceNote;  // what VEMLA_AUDIO chooses, when it is set

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void chosen(int index);

  ChosenDevice& device_;
  QDialog& options_;
  bool filling_ = false;  // the combo is being filled: its changes are not the user's
};

}  // namespace vemla
