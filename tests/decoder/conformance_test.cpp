// The ISO conformance streams (ISO/IEC 11172-4, 13818-4): every decodable stream within the standard's
// accuracy bound of the reference, and every damaged stream decoded to its end without harm.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support.h"

namespace vemla::test {
namespace {

std::vector<int16_t> read_reference(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  std::vector<int16_t> pcm(bytes.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return pcm;
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

#define SKIP_WITHOUT_STREAMS()                                                                             \
  const std::filesystem::path dir = conformance_dir();                                                     \
  if (dir.empty())                                                                                         \
    GTEST_SKIP() << "conformance streams not found: neither $VEMLA_CONFORMANCE nor " VEMLA_CONFORMANCE_DIR \
                    " is a folder"

class Conformance : public testing::TestWithParam<std::string> {};

// No 16-bit sample more than one step from the reference (full accuracy allows 2^-14, two steps, ISO/IEC
// 11172-4; the reference rounds where the decoder truncates), and the float output, rounded, at 105 dB or
// better.
TEST_P(Conformance, MatchesReference) {
  SKIP_WITHOUT_STREAMS();
  const std::string name = GetParam();
  const std::vector<int16_t> reference = read_reference(dir / (name + ".pcm"));

  const Decoded pcm = decode_file(dir / (name + ".bit"));
  ASSERT_TRUE(pcm.opened);
  const long max_offset = 2 * 1152;  // up to two frames of lead or lag
  const Comparison c = compare_aligned(as_steps(pcm.pcm), reference, pcm.channels, max_offset);
  const size_t overlap = std::min(pcm.pcm.size(), reference.size());
  EXPECT_GE(c.compared + max_offset * pcm.channels, overlap) << "offset " << c.offset;
  EXPECT_LE(c.max_difference, 1.0) << "offset " << c.offset << ", rms " << c.rms;

  const Decoded floats = decode_file(dir / (name + ".bit"), ChoiceStereo, true);
  const Comparison f = compare_aligned(rounded_steps(floats.floats), reference, floats.channels, max_offset);
  EXPECT_GE(f.psnr, 105.0) << "rms " << f.rms << ", max " << f.max_difference;
  EXPECT_EQ(f.offset, c.offset);
}

INSTANTIATE_TEST_SUITE_P(LayerI, Conformance,
                         testing::Values("l1-fl1", "l1-fl2", "l1-fl3", "l1-fl4", "l1-fl5", "l1-fl6", "l1-fl7",
                                         "l1-fl8"),
                         test_name);
// l2-test32 is MPEG-2 LSF at 24 kHz: 1152 samples a frame and the one allocation table of ISO/IEC 13818-3.
INSTANTIATE_TEST_SUITE_P(LayerII, Conformance,
                         testing::Values("l2-fl10", "l2-fl11", "l2-fl12", "l2-fl13", "l2-fl14", "l2-fl15",
                                         "l2-fl16", "l2-test32"),
                         test_name);

INSTANTIATE_TEST_SUITE_P(LayerIII, Conformance,
                         testing::Values("l3-compl", "l3-he_32khz", "l3-he_44khz", "l3-he_48khz", "l3-hecommon",
                                         "l3-si", "l3-si_block", "l3-si_huff", "l3-sin1k0db"),
                         test_name);
// Free format: no bit rate in the header, the frame length measured from the stream. The Layer II stream's
// CRC words match none of its frames, so they are not taken for damage.
INSTANTIATE_TEST_SUITE_P(FreeFormat, Conformance, testing::Values("l3-he_free", "l2-nonstandard-free_format"),
                         test_name);
// The lower sampling frequencies: 16, 22.05 and 24 kHz, one granule per frame.
INSTANTIATE_TEST_SUITE_P(LayerIIILsf, Conformance,
                         testing::Values("l3-test45", "l3-test46", "M2L3_bitrate_16_all", "M2L3_bitrate_22_all",
                                         "M2L3_bitrate_24_all", "M2L3_compl24", "M2L3_noise"),
                         test_name);

// l3-he_mode has 10 single-channel frames, 100 two-channel frames in every stereo mode, then 18 single-channel
// frames; its reference holds each part as decoded (11520 samples, 230400 interleaved, 20736). The output
// keeps the first frame's one channel: the two-channel frames give the channel chosen, or their mix. Left
// follows the reference throughout. Right starts from the history of the channel before it where the
// reference starts its right channel from silence: the first frame of each change differs there.
TEST(ChannelCountChange, EveryFrameDecodesIntoTheFirstFramesChannels) {
  SKIP_WITHOUT_STREAMS();
  const std::vector<int16_t> reference = read_reference(dir / "l3-he_mode.pcm");
  ASSERT_EQ(reference.size(), 11520u + 230400 + 20736);
  std::vector<double> left, right, mix;  // the reference as each choice hears it
  for (size_t i = 0; i < reference.size();) {
    const bool stereo = i >= 11520 && i < 11520 + 230400;
    const double l = reference[i], r = stereo ? reference[i + 1] : l;
    left.push_back(l), right.push_back(r), mix.push_back(0.5 * (l + r));
    i += stereo ? 2 : 1;
  }
  const size_t changes[] = {10 * 1152, 110 * 1152};  // the first frames of the new channel count
  const auto outside_changes = [&](size_t sample) {
    for (size_t change : changes)
      if (sample >= change && sample < change + 1152) return false;
    return true;
  };
  struct Case {
    ChannelChoice choice;
    const std::vector<double>& heard;
    bool across_changes;  // the frames after a change follow the reference too
  };
  for (const Case& c : {Case{ChoiceLeft, left, true}, Case{ChoiceRight, right, false},
                        Case{ChoiceStereo, mix, false}, Case{ChoiceMono, mix, false}}) {
    const Decoded pcm = decode_file(dir / "l3-he_mode.bit", c.choice);
    const Decoded floats = decode_file(dir / "l3-he_mode.bit", c.choice, true);
    ASSERT_EQ(pcm.channels, 1u);
    ASSERT_EQ(pcm.frames, 128u) << "choice " << int{c.choice};
    ASSERT_EQ(pcm.pcm.size(), c.heard.size());
    double worst = 0, squares = 0;
    size_t compared = 0;
    for (size_t i = 0; i < c.heard.size(); ++i) {
      if (!c.across_changes && !outside_changes(i)) continue;
      worst = std::max(worst, std::abs(pcm.pcm[i] - c.heard[i]));
      const double error = std::round(floats.floats[i] * 32768.0) - c.heard[i];
      squares += error * error, ++compared;
    }
    EXPECT_LE(worst, 1.0) << "choice " << int{c.choice};
    // A mix of two rounded channels is half a step off now and then: only the single channels are held to
    // the float bound.
    if (&c.heard != &mix) {
      EXPECT_GE(20 * std::log10(32767.0 / std::sqrt(squares / compared)), 105.0) << "choice " << int{c.choice};
    }
  }
}

// Frame 26 of this one-channel stream says Joint Stereo over side information of one channel: its two
// channels read past where frame 27's main data begins. Reading starts over there, and every frame after it
// sounds.
TEST(DamagedSideInformation, TheFramesAfterItKeepTheirSound) {
  SKIP_WITHOUT_STREAMS();
  const Decoded d = decode_file(dir / "l3-nonstandard-compl-sideinfo-size.bit");
  ASSERT_TRUE(d.opened);
  EXPECT_EQ(d.frames, 216u);  // all 217 but the first, whose main data lies before the stream
}

// Damaged and unusual streams: decoded to the end, in every channel choice and both sample kinds, with no
// crash, hang or read outside a buffer (the sanitizer build runs these too).
class Damaged : public testing::TestWithParam<std::string> {};

TEST_P(Damaged, FinishesCleanly) {
  SKIP_WITHOUT_STREAMS();
  const std::filesystem::path file = dir / (GetParam() + ".bit");
  ASSERT_TRUE(std::filesystem::exists(file));
  for (ChannelChoice choice : {ChoiceStereo, ChoiceLeft, ChoiceRight, ChoiceMono}) {
    const Decoded d = decode_file(file, choice, choice == ChoiceMono);
    if (!d.opened) continue;
    // No frame gives more than it can carry.
    EXPECT_LE(d.pcm.size() + d.floats.size(), d.frames * 1152 * d.channels);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Illegal, Damaged,
    testing::Values("ILL2_center2", "ILL2_dual", "ILL2_dynx22", "ILL2_dynx31", "ILL2_dynx32", "ILL2_ext_switching",
                    "ILL2_layer1", "ILL2_layer3", "ILL2_mono", "ILL2_multilingual", "ILL2_overalloc1",
                    "ILL2_overalloc2", "ILL2_prediction", "ILL2_samples", "ILL2_scf63", "ILL2_tca21", "ILL2_tca30",
                    "ILL2_tca30_PC", "ILL2_tca31_PC", "ILL2_tca31_mtx0", "ILL2_tca31_mtx2", "ILL2_tca32_PC",
                    "ILL2_wrongcrc", "ILL4_ext_id1", "ILL4_sync", "ILL4_wrong_length1", "ILL4_wrong_length2",
                    "ILL4_wrongcrc"),
    test_name);

INSTANTIATE_TEST_SUITE_P(
    Nonstandard, Damaged,
    testing::Values("l2-nonstandard-fl1_fl2_ff", "l2-nonstandard-free_format", "l2-nonstandard-test32-size",
                    "l3-nonstandard-apetag", "l3-nonstandard-big-iscf", "l3-nonstandard-compl-sideinfo-bigvalues",
                    "l3-nonstandard-compl-sideinfo-blocktype", "l3-nonstandard-compl-sideinfo-size",
                    "l3-nonstandard-he_44_48khz", "l3-nonstandard-id3v1-apetag", "l3-nonstandard-id3v1",
                    "l3-nonstandard-id3v2-only", "l3-nonstandard-id3v2", "l3-nonstandard-sideinfo-size",
                    "l3-nonstandard-sin1k0db_lame_vbrtag", "l3-nonstandard-small", "l3-nonstandard-vbrtag-corrupted",
                    "l3-nonstandard-vbrtag-empty", "l3-nonstandard-vbrtag-noframes", "l3-nonstandard-vbrtag-only",
                    "l3-nonstandard-vbrtag-oob-read"),
    test_name);

}  // namespace
}  // namespace vemla::test
