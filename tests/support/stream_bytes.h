// Streams of frames made for the tests, a frame reader opened over them at their first frame, and what the
// decoder says meanwhile.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bitstream.h"
#include "frame_builder.h"
#include "header.h"
#include "notifier.h"
#include "support.h"

namespace vemla::test {

// Collects what the decoder reports instead of showing it.
class RecordingNotifier : public Notifier {
 public:
  RecordingNotifier() { set_notifier(this); }
  ~RecordingNotifier() override { set_notifier(nullptr); }
  void notify(std::string_view caption, std::string_view text, MessageIcon icon) override {
    captions.emplace_back(caption);
    texts.emplace_back(text);
    icons.push_back(icon);
  }
  std::vector<std::string> captions, texts;
  std::vector<MessageIcon> icons;
};

// A file of `count` frames, each `length` bytes long; frame k's body starts with k (two bytes).
inline std::vector<uint8_t> frames(const HeaderFields& h, size_t length, int count, int first = 0) {
  std::vector<uint8_t> out;
  for (int k = first; k < first + count; ++k) append_frame(out, h, {uint8_t(k >> 8), uint8_t(k)}, length);
  return out;
}

struct Opened {
  std::unique_ptr<Ibitstream> stream;
  Header header;
  bool ok = false;
};

// Writes the bytes to a file and reads its first frame.
inline void open_bytes(Opened& o, const TempDir& dir, const std::vector<uint8_t>& bytes,
                       const std::string& name = "a.mp3") {
  write_file(dir / name, bytes);
  o.stream = std::make_unique<Ibitstream>((dir / name).string());
  Crc16* crc = nullptr;
  o.ok = o.header.read_frame_header(*o.stream, crc);
}

inline int frame_number_in_body(Ibitstream& s) { return static_cast<int>(s.read_bits(16)); }

}  // namespace vemla::test
