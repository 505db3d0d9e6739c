// What is heard, from the device's played count: the frame after a run's start or a seek, never beyond what
// was decoded, and a stream the run went on into only once the device has played up to its first sample.
#include "heard_position.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

TEST(HeardPosition, CountsFramesFromTheStartAndEachSeek) {
  HeardPosition heard;
  heard.reset();
  EXPECT_EQ(heard.at(5000, 3).frame, 0) << "the device is not open yet: the origin is heard";
  heard.set_frame_samples(1152);
  EXPECT_EQ(heard.at(1152 * 5 + 100, 10).frame, 5);
  EXPECT_EQ(heard.at(1152 * 20, 10).frame, 10) << "nothing beyond the frame decoded";
  heard.restart(100);
  EXPECT_EQ(heard.at(1152 * 3, 50).frame, 103) << "the decoder has not reached the seek's frame yet";
  EXPECT_EQ(heard.at(1152 * 3, 101).frame, 101);
  EXPECT_EQ(heard.at(0, 120).stream, 0u);
}

TEST(HeardPosition, AFollowingStreamIsHeardWhenItsFirstSampleIs) {
  HeardPosition heard;
  heard.reset();
  heard.set_frame_samples(1152);
  heard.restart(40);
  // The next stream's first sample follows 1152 * 8 + 300 sample frames; its frames are shorter.
  heard.follow(1152 * 8 + 300, 576);
  const HeardPosition::Heard before = heard.at(1152 * 8 + 299, 2);
  EXPECT_EQ(before.stream, 0u);
  EXPECT_EQ(before.frame, 48) << "the earlier stream is not held back by the next one's decoded frame";
  const HeardPosition::Heard after = heard.at(1152 * 8 + 300 + 576 * 3, 10);
  EXPECT_EQ(after.stream, 1u);
  EXPECT_EQ(after.frame, 3);
  // Two more queued before either is heard; a seek then lands in the last one, the one being decoded.
  heard.follow(1152 * 20, 1152);
  heard.follow(1152 * 30, 1152);
  EXPECT_EQ(heard.at(1152 * 25, 100).stream, 2u);
  heard.restart(7);
  const HeardPosition::Heard seek = heard.at(1152 * 2, 9);
  EXPECT_EQ(seek.stream, 3u);
  EXPECT_EQ(seek.frame, 9);
  heard.reset();
  EXPECT_EQ(heard.at(1152 * 2, 9).stream, 0u);
}

}  // namespace
}  // namespace vemla
