// The output level's rule: which gain a mode takes, the pre-amp and the fixed gain, clipping prevention, the
// volume, and values no tag should hold.
#include "gain_stage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vemla {
namespace {

double in_db(double factor) {
  return factor_to_db(factor);
}

GainSettings mode(ReplayGainMode m, double preamp = 0, bool prevent_clipping = true) {
  GainSettings settings;
  settings.mode = m;
  settings.preamp = preamp;
  settings.prevent_clipping = prevent_clipping;
  return settings;
}

const ReplayGain kTagged{-6.0, 0.5, -3.0, 0.8};

TEST(GainFactor, ModesTakeTheirGainAndTheAlbumFallsBackToTheTrack) {
  EXPECT_DOUBLE_EQ(gain_factor(mode(ReplayGainMode::Off, 5), kTagged), 1.0);
  EXPECT_NEAR(in_db(gain_factor(mode(ReplayGainMode::Track), kTagged)), -6.0, 1e-9);
  EXPECT_NEAR(in_db(gain_factor(mode(ReplayGainMode::Album), kTagged)), -3.0, 1e-9);
  EXPECT_NEAR(in_db(gain_factor(mode(ReplayGainMode::Track, 2.5), kTagged)), -3.5, 1e-9);
  const ReplayGain track_only{-4.0, std::nullopt, std::nullopt, std::nullopt};
  EXPECT_NEAR(in_db(gain_factor(mode(ReplayGainMode::Album), track_only)), -4.0, 1e-9);
}

TEST(GainFactor, TracksWithoutGainGetTheFixedGainOnly) {
  GainSettings settings = mode(ReplayGainMode::Track, 6);
  settings.fallback_gain = -2.0;
  EXPECT_NEAR(in_db(gain_factor(settings, ReplayGain{})), -2.0, 1e-9);
  // Album gain alone does not serve track mode.
  EXPECT_NEAR(in_db(gain_factor(settings, ReplayGain{std::nullopt, std::nullopt, 1.0, 0.5})), -2.0, 1e-9);
}

TEST(GainFactor, ClippingPreventionCapsByThePeakOfTheGainTaken) {
  const ReplayGain loud{12.0, 0.9, 12.0, 0.95};
  EXPECT_NEAR(gain_factor(mode(ReplayGainMode::Track), loud), 1 / 0.9, 1e-12);
  EXPECT_NEAR(gain_factor(mode(ReplayGainMode::Album), loud), 1 / 0.95, 1e-12);
  EXPECT_NEAR(in_db(gain_factor(mode(ReplayGainMode::Track, 0, false), loud)), 12.0, 1e-9);
  // A gain that leaves room stays as it is; an unknown peak caps nothing.
  EXPECT_NEAR(in_db(gain_factor(mode(ReplayGainMode::Track), ReplayGain{-1.0, 0.9, {}, {}})), -1.0, 1e-9);
  EXPECT_NEAR(in_db(gain_factor(mode(ReplayGainMode::Track), ReplayGain{12.0, {}, {}, {}})), 12.0, 1e-9);
  // The pre-amp is capped too.
  EXPECT_NEAR(gain_factor(mode(ReplayGainMode::Track, 15), ReplayGain{0.0, 0.5, {}, {}}), 2.0, 1e-12);
}

TEST(GainFactor, VolumeComesLastAndBadSettingsAreBounded) {
  GainSettings settings = mode(ReplayGainMode::Track);
  settings.volume = 0.5;
  EXPECT_NEAR(gain_factor(settings, ReplayGain{12.0, 0.9, {}, {}}), 0.5 / 0.9, 1e-12);
  settings.mode = ReplayGainMode::Off;
  EXPECT_DOUBLE_EQ(gain_factor(settings, kTagged), 0.5);
  settings.volume = 7;
  EXPECT_DOUBLE_EQ(gain_factor(settings, kTagged), 1.0);
  settings.volume = std::numeric_limits<double>::quiet_NaN();
  EXPECT_DOUBLE_EQ(gain_factor(settings, kTagged), 1.0);
  settings = mode(ReplayGainMode::Track, 40);
  EXPECT_NEAR(in_db(gain_factor(settings, ReplayGain{-20.0, {}, {}, {}})), -5.0, 1e-9);
}

TEST(GainValues, WhatTagsMayHold) {
  EXPECT_EQ(sane_gain(-6.5), -6.5);
  EXPECT_EQ(sane_gain(80.0), kMaxReplayGain);
  EXPECT_EQ(sane_gain(-80.0), -kMaxReplayGain);
  EXPECT_FALSE(sane_gain(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(sane_gain(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(sane_peak(1.2), 1.2);
  EXPECT_FALSE(sane_peak(0.0));
  EXPECT_FALSE(sane_peak(-0.5));
  ReplayGainMode m;
  EXPECT_TRUE(replaygain_mode_from_text("album", m));
  EXPECT_EQ(m, ReplayGainMode::Album);
  EXPECT_FALSE(replaygain_mode_from_text("Album", m));
}

}  // namespace
}  // namespace vemla
