// The sound devices offered to the user, from ALSA's hints as they come (fields missing, capture devices,
// "null", the same PCM twice) and from the hints of this machine.
#include "alsa_pcm_list.h"

#include <gtest/gtest.h>

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

TEST(PlayablePcms, DefaultIsOfferedEvenWhenAlsaGivesNoHints) {
  const auto devices = playable_pcms({});
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].name, "default");
  EXPECT_FALSE(devices[0].description.empty());
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

}  // namespace
}  // namespace vemla
