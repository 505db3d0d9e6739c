#include "decode_command.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "file_sink.h"
#include "notifier.h"
#include "stop_signals.h"
#include "stream_decoder.h"
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
  std::printf("VERSION     %s\nLAYER       %s\nBITRATE     %s\nSAMPLERATE  %s\nMODE        %s\n",
              f.version.c_str(), f.layer.c_str(), f.bitrate.c_str(), f.samplerate.c_str(), f.mode.c_str());
  std::printf("CHECKSUMS   %s\nCOPYRIGHT   %s\nORIGINAL    %s\n", yes_no(f.checksums), yes_no(f.copyright),
              yes_no(f.original));
  std::printf("FRAMETOTAL  %d\nTRACKTOTAL  %d\nTIME        %s\n", static_cast<int>(f.frametotal),
              static_cast<int>(f.tracktotal), time_text(f.tracktotal / 1000).c_str());
  if (f.exact)
    std::printf("DELAY       %u\nPADDING     %u\nSAMPLES     %llu\n", f.encoder_delay, f.encoder_padding,
                static_cast<unsigned long long>(f.samples));
  std::fflush(stdout);
}

void say_no_audio_frames(const std::string& name) {
  std::cerr << "vemla-decode: " << name << ": no audio frame follows the encoder's header\n";
}

// An input with its first frame read.
struct OpenInput {
  explicit OpenInput(const InputFile& file) : stream(file.path) {}
  Ibitstream stream;
  Header header;
};

// Reads the input's first frame; false, with the program's line, when there is none.
bool open_input(const InputFile& file, OpenInput& input) {
  if (!input.stream.is_open()) return false;  // the notifier has said why
  // What the decoder says while it looks for the first frame (why it found none) goes in the program's line.
  FirstMessage message;
  ThreadNotifierScope scope(message);
  Crc16* crc = nullptr;
  if (input.header.read_frame_header(input.stream, crc)) return true;
  std::cerr << "vemla-decode: " << file.name << ": "
            << (message.empty() ? "no MPEG audio frame header found" : message.caption + ": " + message.text)
            << '\n';
  return false;
}

// What the output of a stream is: its sampling rate and the channels it decodes to.
struct Format {
  unsigned frequency = 0;
  unsigned channels = 0;
  std::string text;  // "44.1 kHz stereo"
  bool operator==(const Format& other) const {
    return frequency == other.frequency && channels == other.channels;
  }
};

Format format_of(const Header& header, ChannelChoice choice) {
  Format f;
  f.frequency = header.frequency();
  f.channels = FrameDecoder::output_channels(header, choice);
  const char* rate = header.sample_rate_text();
  f.text = std::string(rate ? rate : "?") + (f.channels == 2 ? " stereo" : " mono");
  return f;
}

// Looks at every input before anything is written: each has a first frame, the facts are printed when
// asked for, and all decode to one format. 0 when they do, else the exit status.
int check_inputs(const DecodeOptions& options, Format& format) {
  const bool several = options.inputs.size() > 1;
  bool audio = true;
  for (size_t i = 0; i < options.inputs.size(); ++i) {
    const InputFile& file = options.inputs[i];
    OpenInput input(file);
    if (!open_input(file, input)) return 1;
    if (options.info) {
      if (several) std::printf("%sFILE        %s\n", i ? "\n" : "", file.name.c_str());
      print_info(input.header, input.stream);
      if (!options.decode && input.header.frame_count_estimate(input.stream) == 0) {
        say_no_audio_frames(file.name);
        audio = false;
      }
    }
    const Format f = format_of(input.header, options.choice);
    if (i == 0) {
      format = f;
    } else if (options.decode && !(f == format)) {
      std::cerr << "vemla-decode: " << file.name << " is " << f.text << " and " << options.inputs[0].name
                << " " << format.text
                << ": files of different sampling rates or channels cannot be one stream; "
                << "decode them one at a time\n";
      return 1;
    }
  }
  return audio ? 0 : 1;
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
  Format format;
  if (const int status = check_inputs(options, format); status != 0 || !options.decode) return status;

  std::optional<FileSink> file;
  if (!options.output.empty()) {
    try {
      file.emplace(options.output, options.wav ? FileSink::Format::Wav : FileSink::Format::Raw,
                   options.f32 ? WavFile::Sample::Float32 : WavFile::Sample::Int16, format.channels,
                   format.frequency);
    } catch (const std::exception& e) {
      // A stop signal ends the wait for a FIFO's reader: that is no failure to report.
      if (!StopSignals::stop_requested()) std::cerr << "vemla-decode: " << e.what() << '\n';
      return 1;
    }
  }
  // An output with a part missing would pass for a decoded one.
  const auto fail = [&file](const std::string& name, const char* why) {
    if (file) file->discard();
    if (!StopSignals::stop_requested()) std::cerr << "vemla-decode: " << name << ": " << why << '\n';
    return 1;
  };

  uint64_t decoded = 0;
  for (const InputFile& input_file : options.inputs) {
    if (StopSignals::stop_requested()) break;
    OpenInput input(input_file);
    if (!open_input(input_file, input)) return fail(input_file.name, "could not be read again");
    if (!(format_of(input.header, options.choice) == format))
      return fail(input_file.name, "changed its format");
    Ibitstream& stream = input.stream;
    Header& header = input.header;
    FrameCounter counter(file ? &*file : nullptr);
    StreamDecoder decoder(stream, header, counter, options.choice, options.gapless,
                          static_cast<float>(32768.0 * input_file.gain));
    if (!decoder.seek(0)) return fail(input_file.name, "cannot position at the first frame");
    // The pass every run makes, one frame at a time so that a stop signal ends it between frames.
    uint64_t audio_frames = 0;
    bool stopped = false;
    Crc16* crc = header.frame_crc();
    do {
      if ((stopped = StopSignals::stop_requested())) break;
      if (!header.tag_frame()) ++audio_frames;
      decoder.decode_frame(crc);
    } while (header.read_frame_header(stream, crc));
    decoder.finish(!stopped);

    if (counter.frames == 0 && !stopped) return fail(input_file.name, "no audio frame could be decoded");
    decoded += counter.frames;
    if (audio_frames > counter.frames && !stopped)
      std::cerr << "vemla-decode: " << input_file.name << ": " << audio_frames - counter.frames << " of "
                << audio_frames << " frames were damaged and left out\n";
  }
  if (decoded == 0) {
    if (file) file->discard();
    return 1;  // stopped before anything was decoded
  }
  if (file && !file->finish()) {
    std::cerr << "vemla-decode: cannot write " << options.output << ": " << file->error() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace vemla
