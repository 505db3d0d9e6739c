// Free-format streams: the frame length measured from where the frames stand, and kept for the stream.
#include "free_format.h"

#include <gtest/gtest.h>

#include "stream_bytes.h"

namespace vemla::test {
namespace {

// Free format: the length of the frames is the distance from the first header to the next one of its kind,
// less the first frame's padding slot, when a third header stands where the second frame ends.
TEST(FreeFormatTest, TheFrameLengthIsMeasuredAndKeptForTheStream) {
  TempDir dir;
  // 600 bytes a frame at 44.1 kHz (160.9 kbit/s), padded now and then, frame 0 among them.
  std::vector<uint8_t> bytes(50, 0);  // something before the first frame
  for (int k = 0; k < 40; ++k) {
    const int padding = k % 3 == 0;
    append_frame(bytes, HeaderFields{1, 3, false, 0, 0, padding, k == 7 ? 3 : 1}, {uint8_t(k >> 8), uint8_t(k)},
                 600 + padding);
  }
  Opened o;
  open_bytes(o, dir, bytes, "free.mp3");
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.stream->header_offset(), 50u);
  EXPECT_EQ(o.header.free_format_length(), 600u);
  EXPECT_EQ(o.header.frame_size(), 597u);  // padded
  EXPECT_EQ(o.header.bitrate(), 600u * 44100 / 144);
  EXPECT_STREQ(o.header.bitrate_text(), "free format");
  EXPECT_EQ(o.header.frame_count_estimate(*o.stream), 40u);
  EXPECT_FLOAT_EQ(o.header.total_duration_ms(*o.stream), 40 * 26.12245f);
  // Every frame is read where it lies, the one-channel frame 7 among them.
  Crc16* crc = nullptr;
  int read = 1;
  while (o.header.read_frame_header(*o.stream, crc)) {
    EXPECT_EQ(frame_number_in_body(*o.stream), read);
    ++read;
  }
  EXPECT_EQ(read, 40);
  for (int n : {33, 2, 39, 0, 17}) {
    ASSERT_TRUE(o.header.seek_to_frame(*o.stream, n)) << n;
    EXPECT_EQ(frame_number_in_body(*o.stream), n);
  }

  // Layer I counts in slots of four bytes, also for the padding; a stream of two frames ends where the
  // second does.
  std::vector<uint8_t> layer1;
  for (int k = 0; k < 2; ++k) append_frame(layer1, HeaderFields{1, 1, false, 0, 1, k == 0, 0}, {}, 200 + 4 * (k == 0));
  Opened l1;
  open_bytes(l1, dir, layer1, "free.mp1");
  ASSERT_TRUE(l1.ok);
  EXPECT_EQ(l1.header.free_format_length(), 200u);
  EXPECT_EQ(l1.header.frame_count_estimate(*l1.stream), 2u);
}

TEST(FreeFormatTest, WhatIsNoFreeFormatStreamIsNotTakenForOne) {
  TempDir dir;
  // A lone pair of headers, the second frame's end followed by something else.
  std::vector<uint8_t> pair;
  for (int k = 0; k < 2; ++k) append_frame(pair, HeaderFields{1, 3, false, 0, 0, 0, 0}, {}, 600);
  pair.resize(pair.size() + 700, 0x55);
  Opened p;
  open_bytes(p, dir, pair, "pair.mp3");
  EXPECT_FALSE(p.ok);

  // Frames longer than the highest free-format rate of their layer: 1000 bytes of Layer II at 48 kHz are
  // 333 kbit/s, 1400 bytes are 467 kbit/s, beyond 384, and are named as such.
  for (const size_t length : {1000u, 1400u}) {
    RecordingNotifier notes;
    Opened o;
    open_bytes(o, dir, frames({1, 2, false, 0, 1, 0, 0}, length, 6), "long.mp2");
    EXPECT_EQ(o.ok, length == 1000u) << length;
    EXPECT_EQ(notes.texts, length == 1000u ? std::vector<std::string>{}
                                           : std::vector<std::string>{"Free-format MPEG audio above 384 kbit/s, "
                                                                      "which Vemla does not play"});
  }

  // The frames of a free-format stream keep its layer and bit-rate index 0; a frame with a bit rate in its
  // header, or of another layer, is passed over.
  std::vector<uint8_t> mixed = frames({1, 2, false, 0, 1, 0, 0}, 1000, 3, 0);
  const std::vector<uint8_t> indexed = frames({1, 2, false, 10, 1, 0, 0}, 576, 1, 100);
  const std::vector<uint8_t> layer3 = frames({1, 3, false, 0, 1, 0, 0}, 1000, 1, 200);
  const std::vector<uint8_t> rest = frames({1, 2, false, 0, 1, 0, 0}, 1000, 2, 3);
  for (const auto* part : {&indexed, &layer3, &rest}) mixed.insert(mixed.end(), part->begin(), part->end());
  Opened m;
  open_bytes(m, dir, mixed, "mixed.mp2");
  ASSERT_TRUE(m.ok);
  std::vector<int> seen = {frame_number_in_body(*m.stream)};
  Crc16* crc = nullptr;
  while (m.header.read_frame_header(*m.stream, crc)) seen.push_back(frame_number_in_body(*m.stream));
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace vemla::test
