// The record of frame starts: exact for every frame however far apart the frames lie, and compact enough
// that an hour of audio costs a few hundred kilobytes.
#include "frame_index.h"

#include <gtest/gtest.h>

#include <random>

namespace vemla {
namespace {

TEST(FrameIndex, GivesBackEveryStartAcrossGroupsAndLongGaps) {
  std::mt19937 random(5);
  FrameIndex index;
  std::vector<uint64_t> starts;
  uint64_t offset = 3;
  for (int k = 0; k < 1000; ++k) {
    starts.push_back(offset);
    index.append(offset);
    // Frame lengths from 24 to 1732 bytes, now and then a gap of 64 KiB or more (a step that does not fit
    // in 16 bits), sometimes just at the edge, and once beyond 4 GiB.
    uint64_t step = 24 + random() % 1709;
    if (k % 97 == 5) step = 65535;
    if (k % 131 == 7) step = 65534;
    if (k % 89 == 0) step = 70000 + random() % 1000000;
    if (k == 500) step = 5'000'000'000ull;
    offset += step;
  }
  ASSERT_EQ(index.size(), starts.size());
  for (size_t k = 0; k < starts.size(); ++k) ASSERT_EQ(index.at(k), starts[k]) << "frame " << k;
}

TEST(FrameIndex, ForgettingTheLastStartUndoesItsRecord) {
  FrameIndex index;
  std::vector<uint64_t> starts;
  for (uint64_t k = 0; k < 130; ++k) starts.push_back(k * 100000 + (k % 7));
  for (uint64_t s : starts) index.append(s);
  // Back over a group boundary (frame 128) and over far steps; then new starts in their place.
  for (int i = 0; i < 5; ++i) index.pop_back();
  EXPECT_EQ(index.size(), 125u);
  for (size_t k = 0; k < index.size(); ++k) ASSERT_EQ(index.at(k), starts[k]);
  index.append(starts[124] + 400);
  index.append(starts[124] + 800);
  index.append(starts[124] + 100000);
  index.append(starts[124] + 100400);
  EXPECT_EQ(index.at(125), starts[124] + 400);
  EXPECT_EQ(index.at(127), starts[124] + 100000);
  EXPECT_EQ(index.at(128), starts[124] + 100400);
  EXPECT_EQ(index.at(124), starts[124]);
  while (!index.empty()) index.pop_back();
  index.pop_back();
  EXPECT_EQ(index.size(), 0u);
  index.append(42);
  EXPECT_EQ(index.at(0), 42u);
}

TEST(FrameIndex, AnHourOfFramesTakesLessThanFiveBytesEach) {
  // One hour of Layer I at 48 kHz: 125 frames a second.
  FrameIndex index;
  const size_t frames = 450000;
  for (size_t k = 0; k < frames; ++k) index.append(k * 104);
  EXPECT_LT(index.memory_bytes(), frames * 5);
  EXPECT_EQ(index.at(frames - 1), (frames - 1) * 104);
}

}  // namespace
}  // namespace vemla
