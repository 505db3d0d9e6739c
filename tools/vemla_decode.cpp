// vemla-decode: decodes an MPEG audio file to WAV or raw PCM through the same frame sequence the player
// uses, prints the facts the library stores about it, or plays it.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "file_sink.h"
#include "frame_decoder.h"
#include "header.h"
#include "notifier.h"
#ifdef VEMLA_WITH_PLAYBACK
#include "play_command.h"
#endif
#include "track_facts.h"

using namespace vemla;

namespace {

// An output buffer that throws the samples away (for timing).
class NullSink final : public Obuffer {
 public:
  void put_sample(int, int16_t) override {}
  void put_samples(int, const int16_t*, int) override {}
  void end_frame(int) override {}
  void clear() override {}
  void request_stop() override {}
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
}

bool ends_with(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Decodes an MPEG audio file (Layer I, II or III) to WAV or raw PCM."};
  std::string input, output;
  std::string format;
  bool f32 = false, info = false, null_output = false;
  ChannelChoice choice = ChoiceStereo;
  const std::map<std::string, ChannelChoice> mixes{
      {"stereo", ChoiceStereo}, {"left", ChoiceLeft}, {"right", ChoiceRight}, {"mono", ChoiceMono}};

  app.add_option("input", input, "MPEG audio file")->required();
  app.add_option("-o,--output", output, "output file: .wav for WAV, anything else raw; - for standard output");
  app.add_option("--format", format, "output format (default: by the output's extension; raw for -)")
      ->check(CLI::IsMember({"wav", "raw"}));
  app.add_flag("--f32", f32, "32-bit float samples (full scale +-1.0) taken before the 16-bit conversion");
  app.add_option("--mix", choice, "channel choice")->transform(CLI::CheckedTransformer(mixes, CLI::ignore_case));
  app.add_flag("--info", info, "print the first frame header's facts as the library stores them");
  app.add_flag("-n,--null", null_output, "decode without writing anything (for timing)");
#ifdef VEMLA_WITH_PLAYBACK
  bool play = false;
  PlayOptions play_options;
  app.add_flag("--play", play,
               "play the file on the sound device; in a terminal: space pauses and resumes, the left and right "
               "arrows go 10 s back and forth, q stops");
  app.add_option("--device", play_options.device,
                 "sound device for --play: alsa (ALSA's default), alsa:PCM, null, null:SPEED or wav:PATH "
                 "(default: $VEMLA_AUDIO, else alsa)");
  app.add_option("--priority", play_options.priority,
                 "decode thread priority for --play, 1 Lowest ... 6 Time Critical")
      ->check(CLI::Range(1, 6));
#endif
  CLI11_PARSE(app, argc, argv);

#ifdef VEMLA_WITH_PLAYBACK
  if (play) {
    play_options.input = input;
    play_options.choice = choice;
    return play_file(play_options);
  }
#endif

  if (!info && output.empty() && !null_output) {
    std::cerr << "vemla-decode: name an output with -o (or use --info or --null)\n";
    return 2;
  }

  Ibitstream stream(input);
  if (!stream.is_open()) return 1;  // the notifier has said why
  Header header;
  Crc16* crc = nullptr;
  if (!header.read_frame_header(stream, crc)) {
    std::cerr << "vemla-decode: " << input << ": no MPEG audio frame header found\n";
    return 1;
  }
  if (info) {
    print_info(header, stream);
    if (output.empty() && !null_output) return 0;
  }

  std::optional<FileSink> file;
  NullSink nothing;
  Obuffer* sink = &nothing;
  if (!null_output) {
    const bool wav = format.empty() ? ends_with(output, ".wav") || ends_with(output, ".WAV") : format == "wav";
    try {
      file.emplace(output, wav ? FileSink::Format::Wav : FileSink::Format::Raw,
                   f32 ? WavFile::Sample::Float32 : WavFile::Sample::Int16,
                   FrameDecoder::output_channels(header, choice), header.frequency());
    } catch (const std::exception& e) {
      std::cerr << "vemla-decode: " << e.what() << '\n';
      return 1;
    }
    sink = &*file;
  }

  FrameDecoder decoder(stream, header, *sink, choice);
  if (!decoder.decode_all()) {
    std::cerr << "vemla-decode: " << input << ": cannot position at the first frame\n";
    return 1;
  }

  if (file && !file->finish()) {
    std::cerr << "vemla-decode: writing " << output << " failed\n";
    return 1;
  }
  return 0;
}
