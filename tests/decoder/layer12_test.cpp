// Layer I and Layer II frames built bit by bit, decoded through the whole pass, and compared with the
// subband values that ISO/IEC 11172-3 (2.4.3.2, 2.4.3.3) gives for them, put through the synthesis filter.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "frame_builder.h"
#include "support.h"
#include "synthesis.h"

namespace vemla::test {
namespace {

constexpr int kSlots = 36;
// Subband values of up to two frames: [channel][time slot][subband].
using Values = std::array<std::array<std::array<double, 32>, 2 * kSlots>, 2>;

// A midtread quantiser of `steps` levels: step s stands for (2s - (steps - 1)) / steps (Tables 3-B.4 and
// the Layer I formula both come down to this).
double level(unsigned s, unsigned steps) { return (2.0 * s - (steps - 1.0)) / steps; }
double scale(unsigned index) { return 2.0 * std::pow(2.0, -static_cast<double>(index) / 3.0); }

// What the synthesis filters make of the values for a channel choice (Mono: the mean of both channels).
std::vector<float> synthesize(const Values& v, int slots, ChannelChoice choice) {
  const unsigned channels = choice == ChoiceStereo ? 2 : 1;
  SynthesisFilter filters[2] = {{0, 32768.0f}, {1, 32768.0f}};
  MemorySink sink(channels, true);
  for (int slot = 0; slot < slots; ++slot) {
    for (int sb = 0; sb < 32; ++sb) {
      const double l = v[0][slot][sb], r = v[1][slot][sb];
      const double first = choice == ChoiceRight ? r : choice == ChoiceMono ? 0.5 * (l + r) : l;
      filters[0].put_subband_sample(static_cast<float>(first), sb);
      filters[1].put_subband_sample(static_cast<float>(r), sb);
    }
    filters[0].synthesize_block(sink);
    if (channels == 2) filters[1].synthesize_block(sink);
  }
  sink.end_frame(1);
  return sink.floats;
}

void expect_close(const std::vector<float>& actual, const std::vector<float>& expected, const char* what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  double worst = 0;
  for (size_t i = 0; i < actual.size(); ++i) worst = std::max(worst, double(std::abs(actual[i] - expected[i])));
  EXPECT_LT(worst, 2e-6) << what;
}

// One channel of a subband in a Layer II frame: its allocation, class (steps, bits per code, grouped), scfsi
// and transmitted scale factor indices. Channel 2 above the joint-stereo bound stands for both channels,
// with `scales2` as the second channel's scale factors.
struct Coded {
  int sb, ch;
  unsigned allocation, steps, bits, scfsi;
  bool grouped;
  std::vector<unsigned> scales;
  unsigned scfsi2 = 0;
  std::vector<unsigned> scales2 = {};
};

// Every class and scfsi: stereo at 48 kHz, 192 kbit/s (27 subbands; allocation tables 3-B.2a: 4 bits up to
// subband 10, 3 bits to 22, 2 bits above).
const std::vector<Coded> kEveryClass = {
    {0, 0, 1, 3, 5, 2, true, {3}},           // 3 steps, grouped; one scale factor for all parts
    {3, 1, 5, 15, 4, 0, false, {6, 9, 12}},  // 15 steps; three scale factors
    {12, 0, 4, 9, 10, 1, true, {2, 8}},      // 9 steps, grouped; parts 1-2 share
    {12, 1, 2, 5, 7, 3, true, {4, 5}},       // 5 steps, grouped; parts 2-3 share
    {24, 0, 3, 65535, 16, 0, false, {20, 21, 22}},
};

// A Layer II frame at 48 kHz, 192 kbit/s of the coded channels given (mode 1 with mode extension 0: joint
// stereo, one set of samples from subband 4 on), its values put at time slots first_slot.. of `v`.
std::vector<uint8_t> layer2_frame(const std::vector<Coded>& coded, int mode, bool crc, bool corrupt_crc, Values& v,
                                  int first_slot = 0) {
  const int bound = mode == 1 ? 4 : 32;
  const auto allocation_bits = [](int sb) { return sb <= 10 ? 4u : sb <= 22 ? 3u : 2u; };
  const auto find = [&](int sb, int ch) -> const Coded* {
    for (const Coded& c : coded)
      if (c.sb == sb && (c.ch == ch || (sb >= bound && c.ch == 2))) return &c;
    return nullptr;
  };
  // Channel 2 of a shared subband reads its own scfsi and scale factors.
  const auto scfsi = [&](const Coded& c, int ch) { return c.ch == 2 && ch == 1 ? c.scfsi2 : c.scfsi; };
  const auto scales = [&](const Coded& c, int ch) -> const std::vector<unsigned>& {
    return c.ch == 2 && ch == 1 ? c.scales2 : c.scales;
  };
  BitWriter w;
  for (int sb = 0; sb < 27; ++sb)
    for (int ch = 0; ch < (sb < bound ? 2 : 1); ++ch) w.put(find(sb, ch) ? find(sb, ch)->allocation : 0, allocation_bits(sb));
  for (int sb = 0; sb < 27; ++sb)
    for (int ch = 0; ch < 2; ++ch)
      if (const Coded* c = find(sb, ch)) w.put(scfsi(*c, ch), 2);
  const size_t protected_bits = w.bits();
  for (int sb = 0; sb < 27; ++sb)
    for (int ch = 0; ch < 2; ++ch)
      if (const Coded* c = find(sb, ch))
        for (unsigned index : scales(*c, ch)) w.put(index, 6);
  for (int group = 0; group < 12; ++group) {
    for (int sb = 0; sb < 27; ++sb) {
      for (int ch = 0; ch < (sb < bound ? 2 : 1); ++ch) {
        const Coded* c = find(sb, ch);
        if (!c) continue;
        unsigned steps[3];
        for (int i = 0; i < 3; ++i) steps[i] = (group * 7 + i * 5 + sb + ch + first_slot) * 2654435761u % c->steps;
        if (c->grouped)
          w.put(steps[0] + c->steps * (steps[1] + c->steps * steps[2]), c->bits);
        else
          for (unsigned s : steps) w.put(s, c->bits);
        // The scale factor of each third of the frame, by scfsi; a shared subband gives both channels.
        const unsigned parts[4][3] = {{0, 1, 2}, {0, 0, 1}, {0, 0, 0}, {0, 1, 1}};
        for (int out = ch; out < (c->ch == 2 ? 2 : ch + 1); ++out) {
          const double factor = scale(scales(*c, out)[parts[scfsi(*c, out)][group / 4]]);
          for (int i = 0; i < 3; ++i) v[out][first_slot + group * 3 + i][sb] = level(steps[i], c->steps) * factor;
        }
      }
    }
  }
  std::vector<uint8_t> frame;
  append_frame(frame, {1, 2, crc, 10, 1, 0, mode, 0}, w.bytes(), 576, protected_bits);
  if (corrupt_crc) frame[5] ^= 0x01;
  return frame;
}

std::vector<uint8_t> layer2_frame(bool crc, bool corrupt_crc, Values& v) {
  v = {};
  return layer2_frame(kEveryClass, 0, crc, corrupt_crc, v);
}

// The one frame of `file` decoded with every channel choice, against the synthesis of its values.
void expect_every_choice_close(const std::filesystem::path& file, const Values& v, const char* what) {
  for (ChannelChoice choice : {ChoiceStereo, ChoiceLeft, ChoiceRight, ChoiceMono}) {
    const Decoded d = decode_file(file, choice, true);
    ASSERT_TRUE(d.opened);
    expect_close(d.floats, synthesize(v, kSlots, choice), what);
  }
}

TEST(Layer2Test, DecodesEveryClassScfsiAndChannelChoice) {
  TempDir dir;
  Values v;
  std::vector<uint8_t> file = layer2_frame(false, false, v);
  write_file(dir / "one.mp2", file);
  expect_every_choice_close(dir / "one.mp2", v, "layer II");
}

TEST(Layer2Test, FrameWithWrongCrcIsSilentAndTheNextDecodes) {
  TempDir dir;
  Values v;
  std::vector<uint8_t> file = layer2_frame(true, false, v);
  const std::vector<uint8_t> bad = layer2_frame(true, true, v);
  const std::vector<uint8_t> good = layer2_frame(true, false, v);
  file.insert(file.end(), bad.begin(), bad.end());
  file.insert(file.end(), good.begin(), good.end());
  write_file(dir / "crc.mp2", file);
  const Decoded d = decode_file(dir / "crc.mp2", ChoiceStereo, true);
  ASSERT_TRUE(d.opened);
  EXPECT_EQ(d.frames, 2u);
  EXPECT_EQ(d.floats.size(), 2u * 1152 * 2);
}

// Joint stereo: from subband 4 on one set of samples serves both channels, each by its own scale factors.
TEST(Layer2Test, JointStereoSharesSamplesAboveTheBound) {
  TempDir dir;
  Values v = {};
  const std::vector<Coded> coded = {
      {1, 0, 2, 7, 3, 0, false, {5, 6, 7}},
      {1, 1, 1, 3, 5, 2, true, {9}},
      {6, 2, 4, 9, 10, 3, true, {4, 8}, 1, {12, 14}},  // shared: channel 2 has its own scfsi
      {14, 2, 6, 31, 5, 0, false, {10, 11, 12}, 2, {30}},
  };
  write_file(dir / "joint.mp2", layer2_frame(coded, 1, false, false, v));
  expect_every_choice_close(dir / "joint.mp2", v, "joint stereo");
}

// A subband coded in one frame and not in the next is silent in the next: nothing of the frame before
// lingers in it.
TEST(Layer2Test, SubbandsTheNextFrameDropsFallSilent) {
  TempDir dir;
  Values v = {};
  std::vector<uint8_t> file = layer2_frame(kEveryClass, 0, false, false, v);
  const std::vector<Coded> fewer = {kEveryClass[1], kEveryClass[3], {5, 0, 2, 5, 7, 0, true, {7, 8, 9}}};
  const std::vector<uint8_t> second = layer2_frame(fewer, 0, false, false, v, kSlots);
  file.insert(file.end(), second.begin(), second.end());
  write_file(dir / "two.mp2", file);
  for (ChannelChoice choice : {ChoiceStereo, ChoiceMono}) {
    const Decoded d = decode_file(dir / "two.mp2", choice, true);
    ASSERT_TRUE(d.opened);
    EXPECT_EQ(d.frames, 2u);
    expect_close(d.floats, synthesize(v, 2 * kSlots, choice), "two frames");
  }
}

// Where a Layer I frame holds the forbidden allocation 15, if anywhere.
enum class Forbidden { Nowhere, SecondChannel, SharedSubband };

// A Layer I joint-stereo frame at 48 kHz, 384 kbit/s, mode extension 0: subbands 0-3 carry two channels,
// 4-31 one sample with two scale factors.
std::vector<uint8_t> layer1_frame(Values& v, Forbidden forbidden = Forbidden::Nowhere) {
  BitWriter w;
  const unsigned alloc[32][2] = {{0, 0}, {14, 0}, {0, 3}};  // subband 1: 15-bit codes; subband 2: 4-bit
  const unsigned shared5 = 2;                                // subband 5: 3-bit codes
  for (int sb = 0; sb < 32; ++sb) {
    if (sb < 4) {
      w.put(alloc[sb][0], 4).put(sb == 0 && forbidden == Forbidden::SecondChannel ? 15 : alloc[sb][1], 4);
    } else {
      w.put(sb == 5 ? shared5 : sb == 9 && forbidden == Forbidden::SharedSubband ? 15 : 0, 4);
    }
  }
  w.put(30, 6);          // subband 1, channel 1
  w.put(4, 6);           // subband 2, channel 2
  w.put(10, 6).put(20, 6);  // subband 5: both channels' scale factors
  v = {};
  for (int slot = 0; slot < 12; ++slot) {
    const unsigned c1 = slot == 0 ? 0 : slot * 2731u % 32768;  // code 0: the most negative level
    const unsigned c2 = slot * 5u % 16, c5 = slot % 8;
    w.put(c1, 15).put(c2, 4).put(c5, 3);
    v[0][slot][1] = level(c1, 32767) * scale(30);
    v[1][slot][2] = level(c2, 15) * scale(4);
    v[0][slot][5] = level(c5, 7) * scale(10);
    v[1][slot][5] = level(c5, 7) * scale(20);
  }
  std::vector<uint8_t> frame;
  append_frame(frame, {1, 1, false, 12, 1, 0, 1, 0}, w.bytes(), 384);
  return frame;
}

TEST(Layer1Test, DecodesStereoAndIntensitySubbandsForEveryChoice) {
  TempDir dir;
  Values v;
  const std::vector<uint8_t> frame = layer1_frame(v);
  write_file(dir / "one.mp1", frame);
  EXPECT_NEAR(level(0, 32767), -0.99996948, 1e-8);
  for (ChannelChoice choice : {ChoiceStereo, ChoiceLeft, ChoiceRight, ChoiceMono}) {
    const Decoded d = decode_file(dir / "one.mp1", choice, true);
    ASSERT_TRUE(d.opened);
    expect_close(d.floats, synthesize(v, 12, choice), "layer I");
  }
}

// In either channel's field below the bound or in a shared one above it.
TEST(Layer1Test, ForbiddenAllocationMakesTheFrameSilent) {
  TempDir dir;
  for (Forbidden where : {Forbidden::SecondChannel, Forbidden::SharedSubband}) {
    Values v;
    std::vector<uint8_t> file = layer1_frame(v);
    const std::vector<uint8_t> forbidden = layer1_frame(v, where);
    file.insert(file.end(), forbidden.begin(), forbidden.end());
    const std::vector<uint8_t> last = layer1_frame(v);
    file.insert(file.end(), last.begin(), last.end());
    write_file(dir / "forbidden.mp1", file);
    const Decoded d = decode_file(dir / "forbidden.mp1");
    EXPECT_EQ(d.frames, 2u) << static_cast<int>(where);
    EXPECT_EQ(d.pcm.size(), 2u * 384 * 2) << static_cast<int>(where);
  }
}

}  // namespace
}  // namespace vemla::test
