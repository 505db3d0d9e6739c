// The command-line decoder as a user runs it: output formats, channel choices, facts, errors and their exit
// statuses, and outputs that never destroy the input nor leave a half-written file under their name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "eventually.h"
#include "frame_builder.h"
#include "support.h"
#include "test_files.h"
#include "test_signal.h"
#include "test_streams.h"

namespace vemla::test {
namespace {

const std::string kTool = VEMLA_DECODE_TOOL;

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// A short Layer II stream: 20 frames of 48 kHz stereo, 576 bytes each; subband 1 of channel 1 and subband 2 of
// channel 2 carry samples (whatever the bits after the scale factors say).
std::filesystem::path small_stream(const TempDir& dir) {
  std::vector<uint8_t> bytes;
  for (int k = 0; k < 20; ++k) {
    BitWriter w;
    for (int sb = 0; sb < 27; ++sb) {
      const unsigned bits = sb <= 10 ? 4 : sb <= 22 ? 3 : 2;
      w.put(sb == 1 ? 5 : 0, bits).put(sb == 2 ? 6 : 0, bits);
    }
    w.put(0, 2).put(0, 2);                                                  // scfsi 0: three scale factors each
    w.put(10, 6).put(11, 6).put(12, 6).put(20, 6).put(21, 6).put(22, 6);
    for (int i = 0; i < 36; ++i) w.put((i * 37 + k * 11) % 8192, 13);
    append_frame(bytes, {1, 2, false, 10, 1, 0, 0}, w.bytes(), 576);
  }
  const auto path = dir / "small.mp2";
  write_file(path, bytes);
  return path;
}

TEST(VemlaDecodeTest, WritesWavRawFloatAndStandardOutput) {
  TempDir dir;
  const auto in = small_stream(dir);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " -o " + quoted(dir / "out.raw")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " -o " + quoted(dir / "out.wav")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " -o - > " + quoted(dir / "stdout.raw")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " --f32 -o " + quoted(dir / "float.wav")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " --mix left -o " + quoted(dir / "left.raw")), 0);

  const std::vector<uint8_t> raw = read_file(dir / "out.raw");
  EXPECT_EQ(raw.size(), 20u * 1152 * 2 * 2);
  EXPECT_EQ(read_file(dir / "stdout.raw"), raw);

  const std::vector<uint8_t> wav = read_file(dir / "out.wav");
  ASSERT_EQ(wav.size(), 44 + raw.size());
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(le32(wav, 4), wav.size() - 8);
  EXPECT_EQ(le16(wav, 20), 1);      // PCM
  EXPECT_EQ(le16(wav, 22), 2);      // channels
  EXPECT_EQ(le32(wav, 24), 48000u);
  EXPECT_EQ(le16(wav, 34), 16);
  EXPECT_EQ(le32(wav, 40), raw.size());
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), wav.begin() + 44));

  const std::vector<uint8_t> f = read_file(dir / "float.wav");
  EXPECT_EQ(le16(f, 20), 3);  // IEEE float
  EXPECT_EQ(le16(f, 34), 32);
  EXPECT_EQ(f.size(), 58 + raw.size() * 2);

  // Left: channel 1 alone.
  const std::vector<uint8_t> left = read_file(dir / "left.raw");
  ASSERT_EQ(left.size(), raw.size() / 2);
  for (size_t i = 0; i < left.size(); i += 2) {
    ASSERT_EQ(left[i], raw[2 * i]);
    ASSERT_EQ(left[i + 1], raw[2 * i + 1]);
  }
}

TEST(VemlaDecodeTest, PrintsTheFactsTheLibraryStores) {
  TempDir dir;
  const auto in = small_stream(dir);
  ASSERT_EQ(run(kTool + " --info " + quoted(in) + " > " + quoted(dir / "info.txt")), 0);
  const std::string info = read_text(dir / "info.txt");
  for (const char* line : {"VERSION     MPEG-1\n", "LAYER       II\n", "BITRATE     192 kbit/s\n",
                           "SAMPLERATE  48 kHz\n", "MODE        Stereo\n", "CHECKSUMS   no\n", "FRAMETOTAL  20\n",
                           "TRACKTOTAL  480\n", "TIME        0:00:00\n"})
    EXPECT_NE(info.find(line), std::string::npos) << line;
}

TEST(VemlaDecodeTest, FailsClearlyAndWritesNothing) {
  TempDir dir;
  write_file(dir / "text.mp3", std::vector<uint8_t>(5000, 'x'));
  for (const auto& in : {dir / "missing.mp3", dir / "text.mp3"}) {
    const auto out = dir / "never.wav";
    EXPECT_NE(run(kTool + " " + quoted(in) + " -o " + quoted(out) + " 2> " + quoted(dir / "err.txt")), 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    const std::string err = read_text(dir / "err.txt");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

// A file behind an ID3v2 tag whose picture is full of bytes that look like frame headers, frames at the
// right distances included, plays from its first real frame.
TEST(VemlaDecodeTest, SkipsAnId3v2TagWithAPicture) {
  if (!have_program("twolame")) GTEST_SKIP() << "twolame is not installed";
  TempDir dir;
  write_test_signal_wav((dir / "signal.wav").string(), 3.0, 44100, 2);
  ASSERT_EQ(run("twolame --quiet -b 192 " + quoted(dir / "signal.wav") + " " + quoted(dir / "plain.mp2")), 0);
  const std::vector<uint8_t> plain = read_file(dir / "plain.mp2");

  std::vector<uint8_t> picture;
  for (int i = 0; i < 40; ++i) {  // a chain of 40 headers 626 bytes apart, like 192 kbit/s Layer II frames
    std::vector<uint8_t> fake;
    append_frame(fake, {1, 2, false, 10, 0, 0, 0}, {}, 626, 0, 0xFF);
    picture.insert(picture.end(), fake.begin(), fake.end());
  }
  std::vector<uint8_t> frame = {'A', 'P', 'I', 'C'};
  const uint32_t frame_size = static_cast<uint32_t>(picture.size() + 14);
  append_word(frame, frame_size);  // ID3v2.3 frame sizes are plain 32-bit
  frame.insert(frame.end(), {0, 0, 0, 'i', 'm', 'a', 'g', 'e', '/', 'j', 'p', 'e', 'g', 0, 3, 0});
  frame.insert(frame.end(), picture.begin(), picture.end());
  const uint32_t tag_size = static_cast<uint32_t>(frame.size());
  std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, uint8_t(tag_size >> 21 & 127), uint8_t(tag_size >> 14 & 127),
                                 uint8_t(tag_size >> 7 & 127), uint8_t(tag_size & 127)};
  tagged.insert(tagged.end(), frame.begin(), frame.end());
  tagged.insert(tagged.end(), plain.begin(), plain.end());
  write_file(dir / "tagged.mp2", tagged);

  const Decoded a = decode_file(dir / "plain.mp2");
  const Decoded b = decode_file(dir / "tagged.mp2");
  ASSERT_TRUE(a.opened);
  ASSERT_TRUE(b.opened);
  EXPECT_GT(a.frames, 100u);
  EXPECT_EQ(a.frames, b.frames);
  EXPECT_EQ(a.pcm, b.pcm);
}

// A file whose only frame is lame's Info header: cut just after it.
std::filesystem::path header_frame_only(const TempDir& dir) {
  if (!make_layer3(dir / "whole.mp3", 2, 44100, 1.0)) return {};
  if (run("lame --quiet -b 128 " + quoted(dir / "whole.mp3.wav") + " " + quoted(dir / "tagged.mp3")) != 0) return {};
  const std::vector<uint8_t> bytes = read_file(dir / "tagged.mp3");
  const FrameWalk walk = walk_frames(bytes);
  if (walk.offsets.size() < 2) return {};
  write_file(dir / "header-only.mp3", std::vector<uint8_t>(bytes.begin(), bytes.begin() + walk.offsets[1]));
  return dir / "header-only.mp3";
}

// A Layer II stream with CRC words, two of which are wrong.
std::filesystem::path two_damaged_frames(const TempDir& dir) {
  if (!make_layer2(dir / "crc.mp2", 2, 44100, 1.0, "-p")) return {};
  std::vector<uint8_t> bytes = read_file(dir / "crc.mp2");
  const FrameWalk walk = walk_frames(bytes);
  if (walk.offsets.size() < 20) return {};
  for (size_t k : {5, 12}) bytes[walk.offsets[k] + 4] ^= 0x5A;
  write_file(dir / "damaged.mp2", bytes);
  return dir / "damaged.mp2";
}

struct Expected {
  std::string arguments;  // after the program's name; {dir} stands for the test's folder
  int status;
  std::string said;       // a part of what it says on standard error
};

// Every failure is one line naming the program, with the status that tells its kind: 1 nothing decoded or
// an unreadable file, 2 bad usage.
TEST(VemlaDecodeTest, ExitStatusesAndMessages) {
  TempDir dir;
  const auto in = small_stream(dir);
  write_file(dir / "text.mp3", std::vector<uint8_t>(5000, 'x'));
  std::filesystem::create_directory(dir / "folder.mp3");
  write_file(dir / "locked.mp3", read_file(in));
  std::filesystem::permissions(dir / "locked.mp3", std::filesystem::perms::none);
  const auto header_only = header_frame_only(dir);
  const auto damaged = two_damaged_frames(dir);

  std::vector<Expected> table = {
      {"{dir}/missing.mp3 -o {dir}/x.wav", 1, "vemla-decode: {dir}/missing.mp3: No such file or directory"},
      {"{dir}/folder.mp3 -o {dir}/x.wav", 1, "vemla-decode: {dir}/folder.mp3: Is a directory"},
      {"{dir}/text.mp3 -o {dir}/x.wav", 1, "vemla-decode: {dir}/text.mp3: no MPEG audio frame header found"},
      {"", 2, "vemla-decode: input is required"},
      {"{dir}/small.mp2", 2, "vemla-decode: name an output with -o"},
      {"{dir}/small.mp2 -o {dir}/x.wav --bogus", 2, "vemla-decode: The following argument was not expected: --bogus"},
      {"{dir}/small.mp2 -o {dir}/x.wav --mix both", 2, "vemla-decode: --mix: both not in {stereo,left,right,mono}"},
      {"{dir}/small.mp2 -o {dir}/x.wav --format mp3", 2, "vemla-decode: --format: mp3 not in {wav,raw}"},
      {"{dir}/small.mp2 -o /dev/full", 1, "vemla-decode: cannot write /dev/full: No space left on device"},
      {"- -o {dir}/x.wav < {dir}/small.mp2", 0, ""},
      {"--info - < {dir}/small.mp2", 0, ""},
  };
  // Permissions do not stop the superuser.
  if (geteuid() != 0)
    table.push_back({"{dir}/locked.mp3 -o {dir}/x.wav", 1, "vemla-decode: {dir}/locked.mp3: Permission denied"});
#ifdef VEMLA_TEST_PLAY
  table.push_back({"--play {dir}/small.mp2 --device null:0", 2, "vemla-decode: null: the speed must be a positive"});
  table.push_back({"--play {dir}/small.mp2 --priority 9", 2, "vemla-decode: --priority: Value 9 not in range 1"});
#endif
  if (!header_only.empty()) {
    table.push_back({"{dir}/header-only.mp3 -o {dir}/x.wav", 1,
                     "vemla-decode: {dir}/header-only.mp3: no audio frame could be decoded"});
    table.push_back({"--info {dir}/header-only.mp3", 1,
                     "vemla-decode: {dir}/header-only.mp3: no audio frame follows the encoder's header"});
#ifdef VEMLA_TEST_PLAY
    table.push_back({"--play --device null {dir}/header-only.mp3", 1,
                     "vemla-decode: {dir}/header-only.mp3: no audio frame follows the encoder's header"});
#endif
  }
  // lame makes MPEG 2.5 of 8 kHz input.
  if (make_layer3(dir / "low.mp3", 1, 8000, 1.0)) {
    table.push_back({"{dir}/low.mp3 -o {dir}/x.wav", 0, ""});
    table.push_back({"--info {dir}/low.mp3", 0, ""});
  }
  if (!damaged.empty())
    table.push_back({"{dir}/damaged.mp2 -o {dir}/x.wav", 0,
                     "vemla-decode: {dir}/damaged.mp2: 2 of 39 frames were damaged and left out"});

  const auto expand = [&](std::string text) {
    for (size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir.path().string());
    return text;
  };
  for (const Expected& e : table) {
    std::filesystem::remove(dir / "x.wav");
    const std::string arguments = expand(e.arguments);
    EXPECT_EQ(run(kTool + " " + arguments + " > " + quoted(dir / "out.txt") + " 2> " + quoted(dir / "err.txt")),
              e.status)
        << arguments;
    const std::string err = read_text(dir / "err.txt");
    if (e.said.empty()) {
      EXPECT_EQ(err, "") << arguments;
      continue;
    }
    EXPECT_EQ(err.rfind(expand(e.said), 0), 0u) << arguments << "\nsaid: " << err;
    // One line, or CLI11's one line and its pointer to --help.
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), e.status == 2 && err.find("--help") != std::string::npos ? 2 : 1)
        << err;
    if (e.status != 0) {
      EXPECT_FALSE(std::filesystem::exists(dir / "x.wav")) << arguments;
    }
  }
  // A decode from standard input is the decode of the file.
  ASSERT_EQ(run(kTool + " " + quoted(in) + " -o " + quoted(dir / "direct.wav")), 0);
  ASSERT_EQ(run(kTool + " - -o " + quoted(dir / "x.wav") + " < " + quoted(in)), 0);
  EXPECT_EQ(read_file(dir / "x.wav"), read_file(dir / "direct.wav"));
}

// The output is refused when it is the input, however it is named, and the input stays as it was.
TEST(VemlaDecodeTest, NeverWritesOverItsInput) {
  TempDir dir;
  const auto in = small_stream(dir);
  const std::vector<uint8_t> original = read_file(in);
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink(in, dir / "symbolic.mp2");
  std::filesystem::create_hard_link(in, dir / "hard.mp2");
  const std::vector<std::filesystem::path> names = {in, dir / "sub" / ".." / "small.mp2", dir / "symbolic.mp2",
                                                    dir / "hard.mp2"};
  for (const auto& name : names)
    for (const char* extra : {"", " --info", " --format wav"}) {
      EXPECT_EQ(run(kTool + " " + quoted(in) + " -o " + quoted(name) + extra + " >/dev/null 2> " +
                    quoted(dir / "err.txt")),
                2)
          << name << extra;
      EXPECT_NE(read_text(dir / "err.txt").find("is the input file"), std::string::npos) << read_text(dir / "err.txt");
      ASSERT_EQ(read_file(in), original) << name << extra;
    }
  // The same through standard input and standard output.
  EXPECT_EQ(run(kTool + " - -o " + quoted(dir / "hard.mp2") + " < " + quoted(in) + " 2>/dev/null"), 2);
  EXPECT_EQ(run(kTool + " " + quoted(in) + " -o - >> " + quoted(dir / "hard.mp2") + " 2>/dev/null"), 2);
#ifdef VEMLA_TEST_PLAY
  EXPECT_EQ(run(kTool + " --play " + quoted(in) + " --device 'wav:" + (dir / "symbolic.mp2").string() +
                "' </dev/null >/dev/null 2>&1"),
            2);
#endif
  EXPECT_EQ(read_file(in), original);
  EXPECT_TRUE(part_files(dir.path()).empty());
}

// Stopped by a signal, a run completes what it decoded under the output's name (a WAV with the right sizes)
// and says so by its status; killed, it leaves the earlier file as it was.
TEST(VemlaDecodeTest, AnInterruptedRunNeverLeavesAHalfFile) {
  TempDir dir;
  if (!make_long_layer3(dir / "long.mp3", 60)) GTEST_SKIP() << "lame is needed to make the test stream";
  const auto out = dir / "out.wav";
  const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  const auto start = [&] {
    write_file(out, earlier);
    auto child = std::make_unique<ChildProcess>(std::vector<std::string>{kTool, (dir / "long.mp3").string(), "-o",
                                                                         out.string()},
                                                dir / "stdout.txt", dir / "stderr.txt");
    // Some audio is written: a run stopped before its first frame keeps no file.
    EXPECT_TRUE(eventually([&] { return part_bytes(dir.path()) > 100000 || child->ended(); }));
    return child;
  };

  auto killed = start();
  killed->signal(SIGKILL);
  EXPECT_EQ(killed->wait(), ChildProcess::kKilledBy + SIGKILL);
  EXPECT_EQ(read_file(out), earlier);
  for (const auto& part : part_files(dir.path())) std::filesystem::remove(part);

  for (const auto& [signal, status] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
    auto child = start();
    child->signal(signal);
    ASSERT_EQ(child->wait(), status) << read_text(dir / "stderr.txt");
    EXPECT_TRUE(wav_sizes_agree(out));
    const size_t size = std::filesystem::file_size(out);
    EXPECT_EQ((size - 44) % 4, 0u) << "whole stereo sample frames";
    EXPECT_LT(size, 60u * 20 * 44100 * 4) << "the run was cut short";
    EXPECT_TRUE(part_files(dir.path()).empty());
  }
}

#ifdef VEMLA_TEST_PLAY
// vemla-decode hands playing and ReplayGain to its build with the sound devices and tags; where that build is
// missing it says which file it needs and writes nothing, and decoding goes on without it.
TEST(VemlaDecodeTest, WithoutItsFullBuildItNamesWhatIsMissing) {
  TempDir dir;
  const auto in = small_stream(dir);
  std::filesystem::create_directories(dir / "bin");
  const auto alone = dir / "bin" / "vemla-decode";
  std::filesystem::copy_file(kTool, alone);
  const std::string needed = (dir / "libexec" / "vemla" / "vemla-decode-full").string();
  for (const std::string& arguments :
       {std::string("--play --device null"), "--replaygain track -o " + quoted(dir / "x.wav")}) {
    EXPECT_EQ(run(quoted(alone) + " " + quoted(in) + " " + arguments + " 2> " + quoted(dir / "err.txt")), 1)
        << arguments;
    EXPECT_EQ(read_text(dir / "err.txt"),
              "vemla-decode: playing and ReplayGain need " + needed + ", which is missing\n")
        << arguments;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.wav")) << arguments;
  }
  ASSERT_EQ(run(quoted(alone) + " " + quoted(in) + " -o " + quoted(dir / "alone.wav")), 0);
  ASSERT_EQ(run(kTool + " " + quoted(in) + " -o " + quoted(dir / "x.wav")), 0);
  EXPECT_EQ(read_file(dir / "alone.wav"), read_file(dir / "x.wav"));
}
#endif

}  // namespace
}  // namespace vemla::test
