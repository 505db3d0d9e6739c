// The sound devices offered to the user, from ALSA's hints as they come (fields missing, capture devices,
// "null", the same PCM twice) and from the hints of this machine.
#include "alsa_pcm_list.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "chosen_device.h"
#include "null_device.h"
#include "support.h"

namespace vemla {
namespace {

PcmHint hint(const char* name, const char* description, const char* ioid = nullptr) {
  PcmHint h;
  if (name) h.name = name;
  if (description) h.description = description;
  if (ioid) h.ioid = ioid;
  return h;
}

TEST(PlayablePcms, DefaultComesFirstWithItsOwnDescription) {
  const auto devices =
      playable_pcms({hint("hw:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog\nDirect hardware"),
                     hint("default", "Default ALSA Output (currently PipeWire Media Server)")});
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0], (PcmDevice{"default", "Default ALSA Output (currently PipeWire Media Server)"}));
  EXPECT_EQ(devices[1], (PcmDevice{"hw:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog, Direct hardware"}))
      << "a description of several lines is one line";
}

TEST(PlayablePcms, DefaultIsOfferedAndDescribedWhenAlsaDoesNeither) {
  const auto devices = playable_pcms({});
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].name, "default");
  EXPECT_FALSE(devices[0].description.empty());
  EXPECT_NE(devices[0].description, "default");
  EXPECT_EQ(playable_pcms({hint("default", nullptr)}), devices) << "a hint without a description keeps ours";
  EXPECT_EQ(playable_pcms({hint("default", "")}), devices);
}

TEST(PlayablePcms, LeavesOutWhatCannotPlayAStereoTrack) {
  const auto devices = playable_pcms({
      hint(nullptr, "a hint without a name"),
      hint("", "an empty name"),
      hint("null", "Discard all samples (playback) or generate zero samples (capture)"),
      hint("dsnoop:CARD=DAC,DEV=0", "USB DAC\nDirect sample snooping device", "Input"),
      hint("surround51:CARD=PCH,DEV=0",
           "HDA Intel PCH\n5.1 Surround output to Front, Center, Rear and Subwoofer"),
      hint("front:CARD=DAC,DEV=0", "USB DAC, USB Audio\nFront output / input"),
      hint("dmix:CARD=DAC,DEV=0", "USB DAC\nDirect sample mixing device", "Output"),
  });
  std::vector<std::string> names;
  for (const PcmDevice& device : devices) names.push_back(device.name);
  EXPECT_EQ(names, (std::vector<std::string>{"default", "front:CARD=DAC,DEV=0", "dmix:CARD=DAC,DEV=0"}));
}

TEST(PlayablePcms, APcmListedTwiceIsOfferedOnceWithItsFirstDescription) {
  const auto devices =
      playable_pcms({hint("pipewire", "PipeWire Sound Server"), hint("default", "first"),
                     hint("pipewire", "again"), hint("default", "second"), hint("pulse", nullptr)});
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0], (PcmDevice{"default", "first"}));
  EXPECT_EQ(devices[1], (PcmDevice{"pipewire", "PipeWire Sound Server"}));
  EXPECT_EQ(devices[2], (PcmDevice{"pulse", "pulse"})) << "without a description the name describes it";
  EXPECT_EQ(pcm_description(devices, "pipewire"), "PipeWire Sound Server");
  EXPECT_EQ(pcm_description(devices, "hw:9"), "hw:9");
}

// This machine's hints (whatever its cards): "default" first, each name once, never "null".
TEST(ListAlsaPcms, ThisMachinesListStartsWithDefault) {
  const auto devices = list_alsa_pcms();
  ASSERT_FALSE(devices.empty());
  EXPECT_EQ(devices[0].name, "default");
  for (size_t i = 0; i < devices.size(); ++i) {
    EXPECT_NE(devices[i].name, "null");
    EXPECT_FALSE(devices[i].description.empty()) << devices[i].name;
    EXPECT_EQ(devices[i].description.find('\n'), std::string::npos) << devices[i].name;
    for (size_t j = 0; j < i; ++j) EXPECT_NE(devices[i].name, devices[j].name);
  }
}

// ALSA reads the user's own configuration (~/.asoundrc): a PCM defined there with a hint, as a sound server
// or a USB device's driver defines its own, is offered and can be chosen and played, by real ALSA.
class UsersOwnPcm : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) home_ = home;
    std::ofstream(dir / ".asoundrc") << "pcm.vemladac {\n  type null\n"
                                        "  hint { show on description \"Vemla Test DAC\" }\n}\n";
    ::setenv("HOME", dir.path().c_str(), 1);
    snd_config_update_free_global();  // read anew, with this home
  }
  void TearDown() override {
    ::setenv("HOME", home_.c_str(), 1);
    snd_config_update_free_global();
  }
  test::TempDir dir;
  std::string home_;
};

TEST_F(UsersOwnPcm, IsOfferedAndPlaysWhenChosenAndOnlyAMissingOneGivesWay) {
  const auto devices = list_alsa_pcms();
  ASSERT_FALSE(devices.empty());
  EXPECT_EQ(devices[0].name, "default");
  EXPECT_EQ(pcm_description(devices, "vemladac"), "Vemla Test DAC");

  auto given = std::make_unique<NullDevice>(1000);
  NullDevice& fallback = *given;
  ChosenDevice chosen(std::move(given));  // the real ALSA device and list
  std::vector<std::string> notes;
  chosen.set_note([&](const std::string& text) { notes.push_back(text); });
  chosen.choose("vemladac");
  std::string reason;
  ASSERT_TRUE(chosen.open(PcmFormat{2, 44100}, reason)) << reason;
  EXPECT_EQ(fallback.opens(), 0u) << "the chosen PCM plays";
  EXPECT_TRUE(notes.empty());
  ASSERT_TRUE(chosen.close());

  chosen.choose("vemla-unplugged");
  ASSERT_TRUE(chosen.open(PcmFormat{2, 44100}, reason)) << reason;
  EXPECT_EQ(fallback.opens(), 1u);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("vemla-unplugged"), std::string::npos) << notes[0];
  chosen.reset();
  EXPECT_TRUE(chosen.close());
}

}  // namespace
}  // namespace vemla
