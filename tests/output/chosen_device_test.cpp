// The device the user chose: opened anew at each open() from the choice of that moment, the given device
// without a choice, and the given device with a note in place of a chosen device that is gone.
#include "chosen_device.h"

#include <gtest/gtest.h>

#include "null_device.h"
#include "recording_device.h"

namespace vemla::test {
namespace {

const PcmFormat kStereo{2, 44100};

class ChosenDeviceTest : public testing::Test {
 protected:
  ChosenDeviceTest() {
    auto owned = std::make_unique<NullDevice>(1000);
    given = owned.get();
    chosen = std::make_unique<ChosenDevice>(
        std::move(owned),
        [this](const std::string& pcm) {
          made.push_back(pcm);
          auto device = std::make_unique<RecordingDevice>();
          device->fail_open = pcm.find("busy") != std::string::npos || pcm.find("gone") != std::string::npos;
          last_made = device.get();
          return device;
        },
        [this] { return there; });
    chosen->set_note([this](const std::string& text) { notes.push_back(text); });
  }
  bool open() {
    std::string reason;
    const bool opened = chosen->open(kStereo, reason);
    last_reason = reason;
    return opened;
  }

  NullDevice* given = nullptr;
  RecordingDevice* last_made = nullptr;
  std::vector<std::string> made;
  std::vector<PcmDevice> there{{"default", "Default"}, {"hw:CARD=DAC,DEV=0", "USB DAC"}, {"hw:busy", "Busy"}};
  std::vector<std::string> notes;
  std::string last_reason;
  std::unique_ptr<ChosenDevice> chosen;
};

TEST_F(ChosenDeviceTest, WithoutAChoiceOrWithDefaultTheGivenDevicePlays) {
  ASSERT_TRUE(open());
  EXPECT_EQ(given->opens(), 1u);
  ASSERT_TRUE(chosen->close());
  chosen->choose("default");
  EXPECT_EQ(chosen->choice(), "");
  ASSERT_TRUE(open());
  EXPECT_EQ(given->opens(), 2u);
  EXPECT_TRUE(made.empty());
  EXPECT_TRUE(chosen->close());
}

TEST_F(ChosenDeviceTest, ANewChoiceIsOpenedAtTheNextOpenAndKeptWhileItStands) {
  ASSERT_TRUE(open());
  chosen->choose("hw:CARD=DAC,DEV=0");
  EXPECT_TRUE(given->is_open()) << "the run playing goes on where it plays";
  ASSERT_TRUE(chosen->close());
  ASSERT_TRUE(open());
  EXPECT_EQ(made, std::vector<std::string>{"hw:CARD=DAC,DEV=0"});
  RecordingDevice* dac = last_made;
  ASSERT_TRUE(dac->is_open());
  // Every operation goes to the device opened last.
  chosen->pause();
  chosen->reset();
  ASSERT_TRUE(chosen->close());
  EXPECT_EQ(dac->log(), (std::vector<std::string>{"open", "pause", "reset", "close"}));
  ASSERT_TRUE(open());
  EXPECT_EQ(made.size(), 1u) << "the same choice keeps its device";
  ASSERT_TRUE(chosen->close());
  chosen->choose("");
  ASSERT_TRUE(open());
  EXPECT_EQ(given->opens(), 2u) << "back to the given device";
  EXPECT_TRUE(notes.empty());
}

TEST_F(ChosenDeviceTest, AChosenDeviceThatIsGoneGivesWayToTheGivenOneWithANote) {
  chosen->choose("hw:CARD=gone,DEV=0");
  ASSERT_TRUE(open());
  EXPECT_EQ(given->opens(), 1u);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("\"hw:CARD=gone,DEV=0\""), std::string::npos) << notes[0];
  EXPECT_EQ(chosen->choice(), "hw:CARD=gone,DEV=0") << "the choice is kept for when the device is back";
}

TEST_F(ChosenDeviceTest, AChosenDeviceThatIsThereButCannotOpenSaysWhy) {
  chosen->choose("hw:busy");
  EXPECT_FALSE(open());
  EXPECT_EQ(last_reason, "refused by the test");
  EXPECT_EQ(given->opens(), 0u) << "a busy device is the user's to see, not hidden behind another";
  EXPECT_TRUE(notes.empty());
}

}  // namespace
}  // namespace vemla::test
