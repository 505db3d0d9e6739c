#include "decode_command.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "file_sink.h"
#include "frame_decoder.h"
#include "notifier.h"
#include "stop_signals.h"
#include "track_facts.h"

namespace vemla {
namespace {

// Passes everything on to the real sink (none: the samples are thrown away) and counts the frames that gave
// samples.
class FrameCounter final : public Obuffer {
 public:
  explicit FrameCounter(Obuffer* sink) : sink_(sink) {}
  void put_sample(int channel, int16_t sample) override {
    if (sink_) sink_->put_sample(channel, sample);
  }
  void put_samples(int channel, const int16_t* samples, int count) override {
    if (sink_) sink_->put_samples(channel, samples, count);
  }
  bool wants_float() const override { return sink_ && sink_->wants_float(); }
  void put_float_samples(int channel, const float* samples, int count) override {
    if (sink_) sink_->put_float_samples(channel, samples, count);
  }
  void end_frame(int descriptor) override {
    ++frames;
    if (sink_) sink_->end_frame(descriptor);
  }
  void clear() override {
    if (sink_) sink_->clear();
  }
  void request_stop() override {
    if (sink_) sink_->request_stop();
  }

  uint64_t frames = 0;

 private:
  Obuffer* sink_;
};

void print_info(const Header& header, const Ibitstream& stream) {
  const TrackFacts f = track_facts(header, stream);
  const auto yes_no = [](bool b) { return b ? "yes" : "no"; };
  std::printf("VERSION     %s\nLAYER       %s\nBITRATE     %s\nSAMPLERATE  %s\nMODE        %s\n", f.version.c_str(),
              f.layer.c_str(), f.bitrate.c_str(), f.samplerate.c_str(), f.mode.c_str());
  std::printf("CHECKSUMS   %s\nCOPYRIGHT   %s\nORIGINAL    %s\n", yes_no(f.checksums), yes_no(f.copyright),
              yes_no(f.original));
  std::printf("FRAMETOTAL  %d\nTRACKTOTAL  %d\nTIME        %s\n", static_cast<int>(f.frametotal),
              static_cast<int>(f.tracktotal), time_text(f.tracktotal / 1000).c_str());
  std::fflush(stdout);
}

void say_no_audio_frames(const std::string& name) {
  std::cerr << "vemla-decode: " << name << ": no audio frame follows the encoder's header\n";
}

}  // namespace

bool has_audio_frames(const std::string& input, const std::string& name) {
  Ibitstream stream(input);
  Header header;
  Crc16* crc = nullptr;
  if (!stream.is_open() || !header.read_frame_header(stream, crc)) return true;
  if (header.frame_count_estimate(stream) > 0) return true;
  say_no_audio_frames(name);
  return false;
}

int decode_command(const DecodeOptions& options) {
  const std::string& name = options.name;
  Ibitstream stream(options.input);
  if (!stream.is_open()) return 1;  // the notifier has said why
  Header header;
  Crc16* crc = nullptr;
  // What the decoder says while it looks for the first frame (why it found none) goes in the program's line.
  FirstMessage message;
  bool found = false;
  {
    ThreadNotifierScope scope(message);
    found = header.read_frame_header(stream, crc);
  }
  if (!found) {
    std::cerr << "vemla-decode: " << name << ": "
              << (message.empty() ? "no MPEG audio frame header found" : message.caption + ": " + message.text)
              << '\n';
    return 1;
  }
  if (options.info) {
    print_info(header, stream);
    if (!options.decode) {
      if (header.frame_count_estimate(stream) > 0) return 0;
      say_no_audio_frames(name);
      return 1;
    }
  }

  std::optional<FileSink> file;
  if (!options.output.empty()) {
    try {
      file.emplace(options.output, options.wav ? FileSink::Format::Wav : FileSink::Format::Raw,
                   options.f32 ? WavFile::Sample::Float32 : WavFile::Sample::Int16,
                   FrameDecoder::output_channels(header, options.choice), header.frequency());
    } catch (const std::exception& e) {
      // A stop signal ends the wait for a FIFO's reader: that is no failure to report.
      if (!StopSignals::stop_requested()) std::cerr << "vemla-decode: " << e.what() << '\n';
      return 1;
    }
  }
  FrameCounter counter(file ? &*file : nullptr);
  FrameDecoder decoder(stream, header, counter, options.choice, static_cast<float>(32768.0 * options.gain));
  if (!decoder.seek(0)) {
    if (file) file->discard();
    std::cerr << "vemla-decode: " << name << ": cannot position at the first frame\n";
    return 1;
  }
  // The pass every run makes, one frame at a time so that a stop signal ends it between frames.
  uint64_t audio_frames = 0;
  crc = header.frame_crc();
  do {
    if (StopSignals::stop_requested()) break;
    if (!header.tag_frame()) ++audio_frames;
    decoder.decode_frame(crc);
  } while (header.read_frame_header(stream, crc));

  if (counter.frames == 0) {
    // An empty file under the output's name would pass for a decoded one.
    if (file) file->discard();
    if (StopSignals::stop_requested()) return 1;
    std::cerr << "vemla-decode: " << name << ": no audio frame could be decoded\n";
    return 1;
  }
  if (file && !file->finish()) {
    std::cerr << "vemla-decode: cannot write " << options.output << ": " << file->error() << '\n';
    return 1;
  }
  if (audio_frames > counter.frames && !StopSignals::stop_requested())
    std::cerr << "vemla-decode: " << name << ": " << audio_frames - counter.frames << " of " << audio_frames
              << " frames were damaged and left out\n";
  return 0;
}

}  // namespace vemla
