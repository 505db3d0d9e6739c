// The "Options" dialog through its handlers: priority and storage stored in the settings, the mix kept in the
// dialog only, and the read-only flag applied to the open library's tables when the dialog closes.
#include "options_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>

#include "data_controls.h"
#include "error_box.h"
#include "player_settings.h"
#include "replaygain_options.h"
#include "support.h"
#include "ui_library.h"

namespace vemla {
namespace {

class OptionsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set_error_handler([this](const QString& text) { errors << text; });
  }
  void TearDown() override { set_error_handler({}); }

  // Shows the dialog (its activation), lets `change` act on it and presses OK (its closing).
  template <typename F>
  void run(F change) {
    dialog.show();
    change();
    dialog.BitBtn1->click();
    ASSERT_FALSE(dialog.isVisible());
  }

  std::string setting(const char* column) { return data.Table2.field_by_name(column).as_text(); }

  test::TempDir dir;
  Tdb data{dir.path()};
  TForm2 dialog{data};
  QStringList errors;
};

TEST_F(OptionsDialogTest, LooksAsDesigned) {
  EXPECT_EQ(dialog.windowTitle(), "Options");
  ASSERT_EQ(dialog.PageControl1->count(), 1);
  EXPECT_EQ(dialog.PageControl1->tabText(0), "MPEG");
  EXPECT_EQ(dialog.RzDBRadioGroup2->title(), "Player Priority");
  EXPECT_EQ(dialog.RzDBRadioGroup2->button(5)->text(), "Time Critical");
  EXPECT_EQ(dialog.RzDBRadioGroup1->button(1)->text(), "Store in Base");
  EXPECT_EQ(dialog.MixButtons->buttons().size(), 4);
  EXPECT_EQ(dialog.RzDBRadioGroup2->toolTip(), "PC-power reserved to Vemla");
  EXPECT_EQ(dialog.RzDBRadioGroup1->statusTip(), "Location of the MPEG files");
  EXPECT_EQ(dialog.RadioGroup1->toolTip(), "Choose the output channel");
  EXPECT_EQ(dialog.CheckBox1->text(), "Make the database Read Only");
  EXPECT_EQ(dialog.CheckBox1->toolTip(), "Make the Database readonly");
  EXPECT_EQ(dialog.property("helpContext").toInt(), 230);
}

TEST_F(OptionsDialogTest, PriorityAndStorageAreStoredAtOnce) {
  data.Table2.open();
  EXPECT_EQ(dialog.RzDBRadioGroup2->item_index(), 2) << "Normal (3) at first";
  run([&] { dialog.RzDBRadioGroup2->button(5)->click(); });
  EXPECT_EQ(setting("PRIORITY"), "6");
  EXPECT_NE(data.Table2.state(), TableState::Edit) << "posted, not left pending";
  run([&] {
    dialog.RzDBRadioGroup2->button(0)->click();
    dialog.RzDBRadioGroup1->button(1)->click();
  });
  EXPECT_EQ(setting("PRIORITY"), "1");
  EXPECT_EQ(setting("STORAGE"), "True");
  run([&] { dialog.RzDBRadioGroup1->button(0)->click(); });
  EXPECT_EQ(setting("STORAGE"), "False");
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(OptionsDialogTest, MixLivesOnlyInTheDialog) {
  EXPECT_EQ(dialog.mix_index(), 0);
  run([&] { dialog.MixButtons->button(3)->click(); });
  EXPECT_EQ(dialog.mix_index(), 3);
  TForm2 next_start(data);
  EXPECT_EQ(next_start.mix_index(), 0);
}

// "Gapless playback" is on until turned off, kept with the program's settings (not in a library), told at once.
TEST_F(OptionsDialogTest, GaplessPlaybackIsKeptWithTheProgramsSettings) {
  QSettings().remove(QStringLiteral("GaplessPlayback"));
  TForm2 fresh(data);
  QSignalSpy told(&fresh, &TForm2::gapless_changed);
  fresh.show();
  EXPECT_EQ(fresh.GaplessPlayback->text(), "Gapless playback");
  EXPECT_TRUE(fresh.GaplessPlayback->isChecked()) << "on by default";
  EXPECT_TRUE(TForm2::gapless_playback());
  fresh.GaplessPlayback->click();
  EXPECT_FALSE(TForm2::gapless_playback());
  EXPECT_EQ(QSettings().value(QStringLiteral("GaplessPlayback")).toBool(), false);
  ASSERT_EQ(told.size(), 1);
  EXPECT_FALSE(told[0][0].toBool());
  fresh.BitBtn1->click();

  // The player reads it at its next track; the next start shows it as kept.
  data.Table2.open();
  WindowPlayerSettings settings(data.Table2, fresh);
  EXPECT_FALSE(settings.gapless());
  TForm2 next_start(data);
  QSignalSpy told_again(&next_start, &TForm2::gapless_changed);
  next_start.show();
  EXPECT_FALSE(next_start.GaplessPlayback->isChecked());
  EXPECT_EQ(told_again.size(), 0) << "shown anew is not a change";
  next_start.GaplessPlayback->click();
  EXPECT_TRUE(settings.gapless());
  EXPECT_EQ(told_again.size(), 1);
  EXPECT_THROW(data.Table2.field_by_name("GaplessPlayback"), TableError) << "no column of the settings table";
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// The ReplayGain choices: off, 0 dB, clipping prevented and 0 dB for tracks without a gain until changed; kept
// with the program's settings at once, told, read by the player at its next track; never a column of a library.
TEST_F(OptionsDialogTest, ReplayGainChoicesAreKeptWithTheProgramsSettings) {
  for (const char* key : {"ReplayGain", "ReplayGainPreamp", "ReplayGainPreventClipping", "ReplayGainFallback"})
    QSettings().remove(QString::fromLatin1(key));
  TForm2 fresh(data);
  QSignalSpy told(&fresh, &TForm2::gains_changed);
  fresh.show();
  ReplayGainOptions& box = *fresh.ReplayGain;
  EXPECT_EQ(box.title(), "ReplayGain");
  EXPECT_EQ(box.Mode->currentText(), "Off");
  EXPECT_EQ(box.Mode->count(), 3);
  EXPECT_EQ(box.Preamp->value(), 0.0);
  EXPECT_EQ(box.Preamp->minimum(), -15.0);
  EXPECT_EQ(box.Preamp->maximum(), 15.0);
  EXPECT_TRUE(box.PreventClipping->isChecked());
  EXPECT_EQ(box.Fallback->value(), 0.0);
  EXPECT_EQ(ReplayGainOptions::kept(), GainSettings{});

  box.Mode->setCurrentIndex(2);
  box.Preamp->setValue(20.0);  // beyond the range: its end
  box.PreventClipping->click();
  box.Fallback->setValue(-3.5);
  EXPECT_EQ(told.size(), 4);
  fresh.BitBtn1->click();
  const GainSettings chosen{ReplayGainMode::Album, 15.0, false, -3.5, 1.0};
  EXPECT_EQ(ReplayGainOptions::kept(), chosen);
  EXPECT_EQ(QSettings().value(QStringLiteral("ReplayGain")).toString(), "album");

  data.Table2.open();
  WindowPlayerSettings settings(data.Table2, fresh);
  EXPECT_EQ(settings.gains(), chosen);
  TForm2 next_start(data);
  QSignalSpy told_again(&next_start, &TForm2::gains_changed);
  next_start.show();
  EXPECT_EQ(next_start.ReplayGain->Mode->currentText(), "Album");
  EXPECT_EQ(next_start.ReplayGain->Fallback->value(), -3.5);
  EXPECT_EQ(told_again.size(), 0) << "shown anew is not a change";
  for (const char* column : {"ReplayGain", "ReplayGainPreamp", "Volume"})
    EXPECT_THROW(data.Table2.field_by_name(column), TableError) << column << " is no column of the settings table";

  // Settings that a hand or another version left unreadable read as the defaults, within range.
  QSettings().setValue(QStringLiteral("ReplayGain"), QStringLiteral("loud"));
  QSettings().setValue(QStringLiteral("ReplayGainPreamp"), QStringLiteral("much"));
  QSettings().setValue(QStringLiteral("ReplayGainFallback"), 99);
  const GainSettings read = ReplayGainOptions::kept();
  EXPECT_EQ(read.mode, ReplayGainMode::Off);
  EXPECT_EQ(read.preamp, 0.0);
  EXPECT_EQ(read.fallback_gain, 15.0);
  ReplayGainOptions::keep({});
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(OptionsDialogTest, WithoutALibraryTheFlagHasNothingToApplyTo) {
  data.Table2.open();
  run([&] {
    EXPECT_FALSE(dialog.CheckBox1->isEnabled());
    dialog.CheckBox1->setChecked(true);
  });
  EXPECT_EQ(setting("READONLY"), "False");
  EXPECT_FALSE(data.Table1.is_open() || data.Table3.is_open());
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(OptionsDialogTest, ReadOnlyFlagMakesBothTablesReadOnlyAndBack) {
  test::open_library(data, dir.path(), {"One", "Two", "Three"});
  data.Table1.move_by(1);
  run([&] {
    EXPECT_TRUE(dialog.CheckBox1->isEnabled());
    EXPECT_FALSE(dialog.CheckBox1->isChecked());
    dialog.CheckBox1->click();
  });
  EXPECT_TRUE(data.Table1.read_only() && data.Table3.read_only());
  EXPECT_TRUE(data.Table1.is_open() && data.Table3.is_open());
  EXPECT_EQ(data.Table1.record_number(), 2) << "the current track stays current";
  EXPECT_EQ(setting("READONLY"), "True");
  EXPECT_EQ(data.Table3.field_by_name("READONLY").as_text(), "True");
  EXPECT_THROW(data.Table1.edit(), TableError);

  // Shown again, the dialog shows the library's flag; unchecked, both tables are writable in the same run.
  run([&] {
    EXPECT_TRUE(dialog.CheckBox1->isChecked());
    dialog.CheckBox1->click();
  });
  EXPECT_FALSE(data.Table1.read_only() || data.Table3.read_only());
  EXPECT_EQ(data.Table1.record_number(), 2);
  EXPECT_EQ(setting("READONLY"), "False");
  data.Table1.edit();
  data.Table1.cancel();
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(OptionsDialogTest, FlagIsKeptInTheLibraryForItsNextOpen) {
  test::open_library(data, dir.path(), {"One"});
  ASSERT_EQ(data.Table3.record_count(), 0) << "a new library's category table has no row";
  run([&] { dialog.CheckBox1->click(); });
  data.Table1.close();
  data.Table3.close();
  EXPECT_EQ(test::stored_value(dir.path(), "Lib1.db", "READONLY"), "True");
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(OptionsDialogTest, TableErrorsAreShownAndTheDialogCloses) {
  test::open_library(data, dir.path(), {"One"});
  data.Table3.close();
  std::filesystem::remove(dir / "Lib1.db");
  run([&] { dialog.CheckBox1->click(); });
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains("Lib1.db")) << errors[0].toStdString();
}

}  // namespace
}  // namespace vemla
