// The iTunes gapless comment: its fields, and finding it in ID3v2 tags of every version the way writers
// store it (comment or user text, Latin-1 or UTF-16, unsynchronised), without reading past a tag whatever
// its size fields claim.
#include "itunes_smpb.h"

#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "bitstream.h"

namespace vemla::test {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kText = " 00000000 00000840 000001C8 0000000000AB5C38 00000000 00000000";

Bytes size_bytes(uint32_t size, int bytes, bool synchsafe) {
  Bytes b;
  for (int i = bytes - 1; i >= 0; --i)
    b.push_back(static_cast<uint8_t>(synchsafe ? (size >> (7 * i)) & 0x7F : (size >> (8 * i)) & 0xFF));
  return b;
}

Bytes latin1(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

void append(Bytes& to, const Bytes& bytes) {
  for (uint8_t b : bytes) to.push_back(b);
}

Bytes utf16le_with_bom(const std::string& s) {
  Bytes b = {0xFF, 0xFE};
  for (char c : s) {
    b.push_back(static_cast<uint8_t>(c));
    b.push_back(0);
  }
  return b;
}

// A comment frame's data: encoding, language, description, terminator, text.
Bytes comment(uint8_t encoding, const Bytes& description, const Bytes& text) {
  Bytes d = {encoding, 'e', 'n', 'g'};
  append(d, description);
  append(d, Bytes(encoding == 1 || encoding == 2 ? 2 : 1, 0));
  append(d, text);
  return d;
}

Bytes user_text(const std::string& description, const std::string& text) {
  Bytes d = {0};
  append(d, latin1(description));
  d.push_back(0);
  append(d, latin1(text));
  return d;
}

Bytes frame(int version, const std::string& id, const Bytes& data, uint16_t flags = 0) {
  Bytes f = latin1(id);
  append(f, size_bytes(static_cast<uint32_t>(data.size()), version == 2 ? 3 : 4, version == 4));
  if (version > 2) {
    f.push_back(static_cast<uint8_t>(flags >> 8));
    f.push_back(static_cast<uint8_t>(flags));
  }
  append(f, data);
  return f;
}

Bytes tag(int version, const Bytes& frames, uint8_t flags = 0, size_t padding = 16) {
  Bytes t = {'I', 'D', '3', static_cast<uint8_t>(version), 0, flags};
  append(t, size_bytes(static_cast<uint32_t>(frames.size() + padding), 4, true));
  append(t, frames);
  append(t, Bytes(padding, 0));
  return t;
}

// The tag followed by some bytes of audio.
std::optional<EncoderPadding> find(Bytes file) {
  append(file, Bytes(200, 0x55));
  const Ibitstream stream{std::span<const uint8_t>(file)};
  return find_itunes_smpb(stream);
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) append(all, p);
  return all;
}

TEST(ItunesText, TakesTheDelayAndPaddingFields) {
  const auto p = parse_itunes_smpb(kText);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->delay, 0x840u);
  EXPECT_EQ(p->padding, 0x1C8u);
  EXPECT_EQ(parse_itunes_smpb("0 240 4ec")->padding, 0x4ECu);
  EXPECT_EQ(parse_itunes_smpb("\t00000000\t000003b1 00000000")->delay, 0x3B1u);
  for (const char* bad : {"", " ", "00000000 00000840", "00000000 0000084G 000001C8", "x 1 2",
                          "00000000 100000000 000001C8", "00000000 00000000000000840 000001C8"})
    EXPECT_FALSE(parse_itunes_smpb(bad)) << '"' << bad << '"';
}

TEST(ItunesComment, IsFoundInEveryTagVersionAndFrameKind) {
  const Bytes other = frame(3, "COMM", comment(0, latin1(""), latin1("a comment")));
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"2.2 COM", tag(2, frame(2, "COM", comment(0, latin1("iTunSMPB"), latin1(kText))))},
      {"2.3 COMM after another",
       tag(3, concat({other, frame(3, "COMM", comment(0, latin1("iTunSMPB"), latin1(kText)))}))},
      {"2.3 TXXX", tag(3, frame(3, "TXXX", user_text("iTunSMPB", kText)))},
      {"2.4 UTF-16",
       tag(4, frame(4, "COMM", comment(1, utf16le_with_bom("iTunSMPB"), utf16le_with_bom(kText))))},
      {"2.2 TXX", tag(2, frame(2, "TXX", user_text("iTunSMPB", kText)))},
      {"second tag", concat({tag(3, other), tag(4, frame(4, "TXXX", user_text("iTunSMPB", kText)))})},
  };
  for (const auto& c : cases) {
    const auto p = find(c.file);
    ASSERT_TRUE(p) << c.name;
    EXPECT_EQ(p->delay, 0x840u) << c.name;
    EXPECT_EQ(p->padding, 0x1C8u) << c.name;
  }
}

TEST(ItunesComment, OtherCommentsAndFramesAreNotIt) {
  EXPECT_FALSE(find(tag(3, frame(3, "COMM", comment(0, latin1("iTunNORM"), latin1(kText))))));
  EXPECT_FALSE(find(tag(3, frame(3, "TIT2", user_text("iTunSMPB", kText)))));
  // Compressed or encrypted frames are not read.
  EXPECT_FALSE(find(tag(3, frame(3, "COMM", comment(0, latin1("iTunSMPB"), latin1(kText)), 0x0080))));
  EXPECT_FALSE(find(tag(4, frame(4, "COMM", comment(0, latin1("iTunSMPB"), latin1(kText)), 0x0004))));
  // No tag at all, and a comment that is in the audio rather than in a tag.
  EXPECT_FALSE(find(Bytes(100, 0)));
  EXPECT_FALSE(find(concat({Bytes(10, 0), tag(3, frame(3, "TXXX", user_text("iTunSMPB", kText)))})));
}

TEST(ItunesComment, UnsynchronisedTagsAndFramesAreRestored) {
  // A 0xFF in the data forces a 0x00 after it; the frame's size counts the bytes as stored.
  Bytes data = comment(1, utf16le_with_bom("iTunSMPB"), utf16le_with_bom(kText));
  Bytes stored;
  for (uint8_t b : data) {
    stored.push_back(b);
    if (b == 0xFF) stored.push_back(0);
  }
  // ID3v2.3: the whole tag, frame headers included, is unsynchronised; ID3v2.4: frame by frame.
  const Bytes v3 = tag(3, frame(3, "COMM", stored), 0x80);
  const Bytes v4 = tag(4, frame(4, "COMM", stored, 0x0002));
  const Bytes v4_all = tag(4, frame(4, "COMM", stored), 0x80);
  for (const Bytes& t : {v3, v4, v4_all}) {
    const auto p = find(t);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->padding, 0x1C8u);
  }
}

TEST(ItunesComment, ExtendedHeadersGroupBytesAndLengthsAreSkipped) {
  const Bytes data = comment(0, latin1("iTunSMPB"), latin1(kText));
  Bytes v3 = {'I', 'D', '3', 3, 0, 0x40};
  Bytes body = {0, 0, 0, 6, 0, 0, 0, 0, 0, 0};  // extended header of 6 bytes after its size
  append(body, frame(3, "COMM", concat({Bytes(1, 7), data}), 0x0020));
  append(v3, size_bytes(static_cast<uint32_t>(body.size()), 4, true));
  append(v3, body);
  EXPECT_TRUE(find(v3));
  // ID3v2.4: a group byte and a data length before the data.
  const Bytes length = size_bytes(static_cast<uint32_t>(data.size()), 4, true);
  EXPECT_TRUE(find(tag(4, frame(4, "COMM", concat({Bytes(1, 7), length, data}), 0x0041))));
}

TEST(ItunesComment, SizesBeyondTheTagOrTheFileEndTheSearchQuietly) {
  const Bytes good = frame(3, "COMM", comment(0, latin1("iTunSMPB"), latin1(kText)));
  // A frame claiming more bytes than the tag holds, before the comment: nothing after it is trusted.
  Bytes huge = frame(3, "COMM", Bytes(10, 'x'));
  huge[4] = 0x7F, huge[5] = 0xFF, huge[6] = 0xFF, huge[7] = 0xFF;
  EXPECT_FALSE(find(tag(3, concat({huge, good}))));
  // A tag claiming 256 MB in a file of a few hundred bytes: read no further than the file.
  Bytes t = tag(3, good);
  t[6] = t[7] = t[8] = t[9] = 0x7F;
  t.resize(60);
  EXPECT_FALSE(find(t));
  // Unsynchronised and claiming 256 MB, the tag is undone in memory as far as the file holds it.
  Bytes u = tag(3, good, 0x80);
  u[6] = u[7] = 0x7F;
  EXPECT_TRUE(find(u));
  // Every cut of a good tag ends without a find or a fault.
  const Bytes whole = tag(4, frame(4, "TXXX", user_text("iTunSMPB", kText)));
  for (size_t n = 0; n < whole.size(); ++n) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
    const Ibitstream stream{std::span<const uint8_t>(cut)};
    (void)find_itunes_smpb(stream);
  }
}

}  // namespace
}  // namespace vemla::test
