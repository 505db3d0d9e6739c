// The "Options" dialog: player priority, where the audio is kept, the output mix, the read-only flag of the
// open library and gapless playback. Priority and storage are data-aware (settings PRIORITY and STORAGE); the
// mix lives only in the dialog; the read-only flag is applied to the library's tables when the dialog closes;
// gapless playback and the
// ReplayGain choices are kept with QSettings ("GaplessPlayback", replaygain_options.h) beside the window's
// geometry, at once.
#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QTabWidget;

namespace vemla {

class DBRadioGroup;
class ReplayGainOptions;
class Table;
class Tdb;

class TForm2 : public QDialog {
  Q_OBJECT
 public:
  // The data module must outlive the dialog.
  explicit TForm2(Tdb& db, QWidget* parent = nullptr);
  ~TForm2() override;

  // The "Mix" item chosen: 0 Stereo, 1 Left, 2 Right, 3 Mono (not stored; Stereo at every start).
  int mix_index() const;
  // "Gapless playback" as kept (on until the user turns it off).
  static bool gapless_playback();
  static void set_gapless_playback(bool on);

  QTabWidget* PageControl1;
  QWidget* TabSheet1;               // "MPEG"
  DBRadioGroup* RzDBRadioGroup2;    // "Player Priority": settings PRIORITY, 1 ... 6
  DBRadioGroup* RzDBRadioGroup1;    // "MPEG Storage": settings STORAGE
  QGroupBox* RadioGroup1;           // "Mix"
  QButtonGroup* MixButtons;
  QCheckBox* CheckBox1;             // "Make the database Read Only"
  QCheckBox* GaplessPlayback;       // "Gapless playback"
  ReplayGainOptions* ReplayGain;    // "ReplayGain": mode, pre-amp, clipping prevention, tracks without a gain
  QPushButton* BitBtn1;             // OK

 public slots:
  // Each time the dialog is shown: the check box shows the library's read-only flag.
  void FormActivate();
  // When the dialog closes, however it is closed: the settings posted, and the read-only flag stored in the
  // settings and the library and applied to the library's tables. Errors of the table store are shown.
  void FormClose();

 signals:
  // The user turned "Gapless playback" on or off (already kept).
  void gapless_changed(bool on);
  // The user changed a ReplayGain choice (already kept).
  void gains_changed();

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void apply_read_only(bool read_only);

  Tdb& db_;
};

}  // namespace vemla
