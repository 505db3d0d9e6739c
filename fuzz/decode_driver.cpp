#include "decode_driver.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "bitstream.h"
#include "frame_decoder.h"
#include "stream_decoder.h"
#include "header.h"
#include "notifier.h"
#include "obuffer.h"
#include "track_facts.h"

namespace vemla::fuzz {
namespace {

[[noreturn]] void broken(const char* promise) {
  std::fprintf(stderr, "decode_bytes: %s\n", promise);
  std::abort();
}

class QuietNotifier final : public Notifier {
 public:
  void notify(std::string_view, std::string_view, MessageIcon) override {}
};

// Takes the samples and checks them: only the output's channels, never more samples in a frame than a frame
// of any layer carries, and finite values before the 16-bit conversion.
class CheckingSink final : public Obuffer {
 public:
  CheckingSink(unsigned channels, bool floats) : channels_(channels), floats_(floats) {}
  void put_sample(int channel, int16_t) override { take(channel, 1); }
  void put_samples(int channel, const int16_t*, int count) override { take(channel, count); }
  bool wants_float() const override { return floats_; }
  void put_float_samples(int channel, const float* samples, int count) override {
    for (int i = 0; i < count; ++i)
      if (!std::isfinite(samples[i])) broken("a sample that is not a finite number");
    take(channel, count);
  }
  void end_frame(int) override { in_frame_[0] = in_frame_[1] = 0; }
  void clear() override { in_frame_[0] = in_frame_[1] = 0; }
  void request_stop() override {}

 private:
  void take(int channel, int count) {
    if (channel < 0 || channel >= static_cast<int>(channels_))
      broken("a sample for a channel the output lacks");
    if (count < 0) broken("a negative sample count");
    in_frame_[channel] += static_cast<unsigned>(count);
    if (in_frame_[channel] > 1152) broken("more samples in one frame than a frame carries");
  }
  unsigned channels_;
  bool floats_;
  unsigned in_frame_[2] = {0, 0};
};

// Decodes up to `limit` frames from the one in the buffer on; false when the stream ended.
bool decode_frames(StreamDecoder& decoder, Ibitstream& stream, Header& header, unsigned limit) {
  Crc16* crc = header.frame_crc();
  for (unsigned n = 0; n < limit; ++n) {
    decoder.decode_frame(crc);
    if (!header.read_frame_header(stream, crc)) {
      decoder.finish(true);
      return false;
    }
  }
  return true;
}

void seek_and_decode(StreamDecoder& decoder, Ibitstream& stream, Header& header, unsigned frame,
                     unsigned limit) {
  if (!decoder.seek(frame)) return;
  if (stream.current_frame() != static_cast<int>(frame)) broken("a seek that succeeded elsewhere than asked");
  decode_frames(decoder, stream, header, limit);
}

}  // namespace

void decode_bytes(const uint8_t* data, size_t size) {
  QuietNotifier quiet;
  set_notifier(&quiet);
  struct Restore {
    ~Restore() { set_notifier(nullptr); }
  } restore;

  Ibitstream stream(std::span<const uint8_t>(data, size));
  Header header;
  Crc16* crc = nullptr;
  if (!header.read_frame_header(stream, crc)) return;
  const TrackFacts facts = track_facts(header, stream);
  if (facts.frametotal < 0 || facts.tracktotal < 0) broken("a negative frame count or playing time");

  // The last bytes choose how to play: channel choice, sample kind, how far to go before and between seeks,
  // gapless or not.
  const uint8_t options = size ? data[size - 1] : 0;
  const auto target = [&](size_t back) {
    const unsigned frames = header.frame_count_estimate(stream) + 2;
    return size > back ? static_cast<unsigned>(data[size - 1 - back] * uint64_t{frames} / 256) : 0u;
  };
  const ChannelChoice choice = static_cast<ChannelChoice>(options & 3);
  const bool floats = (options & 4) != 0;
  const unsigned first_run = (options >> 3) & 7;
  const bool gapless = (options & 0x40) != 0;
  const unsigned first_seek = target(1), second_seek = target(2);

  CheckingSink sink(FrameDecoder::output_channels(header, choice), floats);
  StreamDecoder decoder(stream, header, sink, choice, gapless);
  if (!decoder.seek(0)) return;
  decode_frames(decoder, stream, header, first_run);
  seek_and_decode(decoder, stream, header, first_seek, 12);
  seek_and_decode(decoder, stream, header, second_seek, ~0u);
  // Once the end has been reached, back again.
  seek_and_decode(decoder, stream, header, first_seek, 3);
}

}  // namespace vemla::fuzz
