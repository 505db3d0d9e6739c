// The window's volume: the slider and the speaker button set the player's level on the cubic curve at once,
// the wheel and the keys move the slider, and the choice is kept for the next start.
#include "volume_control.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "gain_stage.h"
#include "null_device.h"
#include "program.h"

namespace vemla {
namespace {

class VolumeControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings().remove(QStringLiteral("Volume"));
    QSettings().remove(QStringLiteral("Muted"));
    program = std::make_unique<Program>(std::make_unique<NullDevice>(500));
  }
  void TearDown() override {
    program.reset();
    QSettings().remove(QStringLiteral("Volume"));
    QSettings().remove(QStringLiteral("Muted"));
  }
  TForm1& form() { return program->form1; }
  double heard() { return program->player.volume(); }

  std::unique_ptr<Program> program;
};

TEST_F(VolumeControlTest, SliderAndMuteSetThePlayersLevelAndAreKept) {
  EXPECT_EQ(form().volumeSlider->objectName(), "volumeSlider");
  EXPECT_EQ(form().volumeSlider->value(), 100) << "full until changed";
  EXPECT_FALSE(form().Mute->isChecked());
  EXPECT_EQ(heard(), 1.0);

  form().volumeSlider->setValue(50);
  EXPECT_FLOAT_EQ(heard(), 0.125);
  form().Mute->click();
  EXPECT_EQ(heard(), 0.0);
  EXPECT_EQ(form().volumeSlider->value(), 50) << "muting keeps the level to come back to";
  form().Mute->click();
  EXPECT_FLOAT_EQ(heard(), 0.125);

  program->volume.step(-2);
  EXPECT_EQ(form().volumeSlider->value(), 40);
  program->volume.step(30);
  EXPECT_EQ(form().volumeSlider->value(), 100) << "not beyond the end";
  form().volumeSlider->setValue(30);
  form().Mute->click();
  // Moving the slider while muted is meant to be heard.
  program->volume.step(1);
  EXPECT_FALSE(form().Mute->isChecked());
  EXPECT_FLOAT_EQ(heard(), static_cast<float>(volume_factor(0.35)));
  form().Mute->click();

  // The next start shows and plays what was chosen.
  program = std::make_unique<Program>(std::make_unique<NullDevice>(500));
  EXPECT_EQ(form().volumeSlider->value(), 35);
  EXPECT_TRUE(form().Mute->isChecked());
  EXPECT_EQ(heard(), 0.0);
  // A kept value out of range is taken as the nearer end.
  QSettings().setValue(QStringLiteral("Volume"), 250);
  program = std::make_unique<Program>(std::make_unique<NullDevice>(500));
  EXPECT_EQ(form().volumeSlider->value(), 100);
}

TEST_F(VolumeControlTest, TheWheelOverTheSliderMovesIt) {
  form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
  form().volumeSlider->setValue(50);
  QSlider* slider = form().volumeSlider;
  const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
  QWheelEvent down(at, slider->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
  QApplication::sendEvent(slider, &down);
  EXPECT_LT(slider->value(), 50);
  EXPECT_LT(heard(), 0.125);
  const int lowered = slider->value();
  QWheelEvent up(at, slider->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                 Qt::NoScrollPhase, false);
  QApplication::sendEvent(slider, &up);
  EXPECT_GT(slider->value(), lowered);
}

}  // namespace
}  // namespace vemla
