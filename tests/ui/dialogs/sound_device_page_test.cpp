// The Options' "Sound" page: its place after "MPEG", the devices it offers, the choice kept with QSettings
// and given to the player's device, a kept device that is not connected, VEMLA_AUDIO overriding the choice,
// and the device's notes in the status bar.
#include "sound_device_page.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <thread>

#include "chosen_device.h"
#include "null_device.h"
#include "program.h"

namespace vemla {
namespace {

const std::vector<PcmDevice> kDevices{{"default", "Default ALSA Output"},
                                      {"hw:CARD=DAC,DEV=0", "USB DAC, USB Audio"},
                                      {"hdmi:CARD=PCH,DEV=0", "HDMI 0"}};

class SoundDevicePageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ::unsetenv("VEMLA_AUDIO"); }
  void SetUp() override { QSettings().remove(QStringLiteral("SoundDevice")); }
  ChosenDevice& device(Program& program) { return static_cast<ChosenDevice&>(program.player.device()); }
  QStringList items(const SoundDevicePage& page) {
    QStringList texts;
    for (int i = 0; i < page.SoundDevice->count(); ++i) texts << page.SoundDevice->itemText(i);
    return texts;
  }
};

TEST_F(SoundDevicePageTest, APageOfItsOwnAfterMpegListingDefaultFirst) {
  Program program{std::make_unique<NullDevice>(500)};
  SoundDevicePage& page = *program.sound_page;
  auto* pages = program.form2.findChild<QTabWidget*>();
  ASSERT_NE(pages, nullptr);
  ASSERT_GE(pages->count(), 2);
  EXPECT_EQ(pages->tabText(0), QStringLiteral("MPEG"));
  EXPECT_EQ(pages->tabText(1), QStringLiteral("Sound"));
  EXPECT_EQ(pages->widget(1), page.SoundPage);
  EXPECT_EQ(page.SoundDevice->objectName(), QStringLiteral("SoundDevice"));

  program.form2.show();  // the system's own devices, whatever they are: "default" first and chosen
  EXPECT_EQ(page.SoundDevice->itemData(0).toString(), QStringLiteral("default"));
  EXPECT_EQ(page.SoundDevice->currentIndex(), 0);
  program.form2.hide();

  page.show_devices(kDevices);
  EXPECT_EQ(items(page), (QStringList{QStringLiteral("Default ALSA Output (default)"),
                                      QStringLiteral("USB DAC, USB Audio (hw:CARD=DAC,DEV=0)"),
                                      QStringLiteral("HDMI 0 (hdmi:CARD=PCH,DEV=0)")}));
  EXPECT_TRUE(page.SoundDevice->isEnabled());
  EXPECT_EQ(device(program).choice(), "") << "nothing kept: the device given plays";
}

TEST_F(SoundDevicePageTest, AChoiceIsKeptAndReachesThePlayersDeviceAtOnce) {
  {
    Program program{std::make_unique<NullDevice>(500)};
    program.sound_page->show_devices(kDevices);
    program.sound_page->SoundDevice->setCurrentIndex(1);
    EXPECT_EQ(QSettings().value(QStringLiteral("SoundDevice")).toString(),
              QStringLiteral("hw:CARD=DAC,DEV=0"));
    EXPECT_EQ(device(program).choice(), "hw:CARD=DAC,DEV=0");
    program.sound_page->show_devices(kDevices);  // listed anew: the choice stays
    EXPECT_EQ(program.sound_page->SoundDevice->currentIndex(), 1);
    EXPECT_EQ(QSettings().value(QStringLiteral("SoundDevice")).toString(),
              QStringLiteral("hw:CARD=DAC,DEV=0"));
  }
  // The next start plays on the kept device.
  Program program{std::make_unique<NullDevice>(500)};
  EXPECT_EQ(device(program).choice(), "hw:CARD=DAC,DEV=0");
}

TEST_F(SoundDevicePageTest, AKeptDeviceNotConnectedStaysChosenAndSaysSo) {
  QSettings().setValue(QStringLiteral("SoundDevice"), QStringLiteral("hw:CARD=Gone,DEV=0"));
  Program program{std::make_unique<NullDevice>(500)};
  SoundDevicePage& page = *program.sound_page;
  page.show_devices(kDevices);
  ASSERT_EQ(page.SoundDevice->count(), 4);
  EXPECT_EQ(page.SoundDevice->currentText(), QStringLiteral("hw:CARD=Gone,DEV=0 (not connected)"));
  EXPECT_EQ(QSettings().value(QStringLiteral("SoundDevice")).toString(),
            QStringLiteral("hw:CARD=Gone,DEV=0"));
  EXPECT_EQ(device(program).choice(), "hw:CARD=Gone,DEV=0");
  page.SoundDevice->setCurrentIndex(0);
  EXPECT_EQ(QSettings().value(QStringLiteral("SoundDevice")).toString(), QStringLiteral("default"));
  EXPECT_EQ(device(program).choice(), "");
}

TEST_F(SoundDevicePageTest, VemlaAudioOverridesTheChoiceAndThePageSaysSo) {
  QSettings().setValue(QStringLiteral("SoundDevice"), QStringLiteral("hw:CARD=DAC,DEV=0"));
  ::setenv("VEMLA_AUDIO", "null:500", 1);
  Program program{std::make_unique<NullDevice>(500)};
  ::unsetenv("VEMLA_AUDIO");
  SoundDevicePage& page = *program.sound_page;
  EXPECT_FALSE(page.SoundDevice->isEnabled());
  EXPECT_TRUE(page.SoundDeviceNote->text().contains(QStringLiteral("VEMLA_AUDIO")))
      << page.SoundDeviceNote->text().toStdString();
  EXPECT_TRUE(page.SoundDeviceNote->text().contains(QStringLiteral("null:500")));
  EXPECT_EQ(device(program).choice(), "") << "the device the variable names plays";
  page.show_devices(kDevices);
  EXPECT_EQ(page.SoundDevice->currentIndex(), 1) << "the kept choice is shown, waiting";
}

TEST_F(SoundDevicePageTest, ADevicesNoteFromTheDecodeThreadShowsInTheStatusBar) {
  QSettings().setValue(QStringLiteral("SoundDevice"), QStringLiteral("hw:CARD=Gone,DEV=0"));
  Program program{std::make_unique<NullDevice>(500)};
  // The chosen PCM does not exist here: the given device plays, and the note says so.
  std::thread opener([&] {
    std::string reason;
    EXPECT_TRUE(device(program).open(PcmFormat{2, 44100}, reason)) << reason;
  });
  opener.join();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return !program.form1.RzStatusBar1->currentMessage().isEmpty(); }, 10000));
  EXPECT_TRUE(program.form1.RzStatusBar1->currentMessage().contains(QStringLiteral("hw:CARD=Gone,DEV=0")));
  device(program).reset();
  EXPECT_TRUE(device(program).close());
}

}  // namespace
}  // namespace vemla
