// vemla-decode: decodes MPEG audio files, one after the other as one stream, to WAV or raw PCM through the
// same frame sequence the player uses, prints the facts the library stores about them, or plays them. Exit
// status: 0 done, 1 failed (nothing decoded, an unreadable input, inputs of different formats, a device or an
// output that failed), 2 bad usage, 128 + N after signal N.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command_input.h"
#include "decode_command.h"
#include "gain_stage.h"
#include "header.h"
#include "play_command.h"
#ifdef VEMLA_WITH_PLAYBACK
#include "device_factory.h"
#endif
#include "stop_signals.h"
#ifdef VEMLA_WITH_TAGS
#include "track_tag.h"
#endif
#ifdef VEMLA_FULL_DECODER
#include <cerrno>
#include <cstring>
#include <filesystem>
#endif

// The options of playing and of ReplayGain tags: in the build that has them, and in the one that hands them
// to it (VEMLA_FULL_DECODER, the name of that build).
#if defined(VEMLA_WITH_PLAYBACK) || defined(VEMLA_FULL_DECODER)
#define VEMLA_PLAY_OPTIONS
#endif

using namespace vemla;

namespace {

bool ends_with(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

ChannelChoice channel_choice(const std::string& mix) {
  if (mix == "left") return ChoiceLeft;
  if (mix == "right") return ChoiceRight;
  if (mix == "mono") return ChoiceMono;
  return ChoiceStereo;
}

// Writing the decoded audio over a file it comes from would destroy it.
template <typename IsAnInput>
bool refuse_same_file(const IsAnInput& is_an_input, const std::string& output, const std::string& what) {
  if (!is_an_input(output)) return false;
  std::cerr << "vemla-decode: " << what << " " << output << " is the input file; name another\n";
  return true;
}

#if defined(VEMLA_FULL_DECODER) && !defined(VEMLA_WITH_PLAYBACK)
// Playing and ReplayGain tags need ALSA and TagLib, whose loading would be a good part of a short decode's
// CPU time: this build has neither and hands those commands, arguments unchanged, to the build that has
// them, beside this program (the build folder) or in its libexec folder (installed).
int run_full_decoder(char** argv) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path here = fs::read_symlink("/proc/self/exe", error).parent_path();
  const fs::path libexec = VEMLA_FULL_DECODER_DIR;
  const fs::path candidates[] = {
      here / VEMLA_FULL_DECODER,
      (libexec.is_absolute() ? libexec : here / ".." / libexec) / VEMLA_FULL_DECODER};
  for (const fs::path& candidate : candidates) {
    if (::access(candidate.c_str(), X_OK) == 0) {
      ::execv(candidate.c_str(), argv);
      std::cerr << "vemla-decode: " << candidate.string() << ": " << std::strerror(errno) << '\n';
      return 1;
    }
  }
  std::cerr << "vemla-decode: playing and ReplayGain need " << candidates[1].lexically_normal().string()
            << ", which is missing\n";
  return 1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Decodes MPEG audio files (Layer I, II or III) to WAV or raw PCM, several as one stream."};
  std::vector<std::string> inputs;
  std::string output;
  std::string format;
  std::string mix = "stereo";
  bool f32 = false, info = false, null_output = false, no_gapless = false;

  app.add_option("input", inputs,
                 "MPEG audio files, decoded or played one after the other without a break; - for standard "
                 "input")
      ->required();
  app.add_option("-o,--output", output, "output file: .wav for WAV, anything else raw; - for standard output");
  app.add_option("--format", format, "output format (default: by the output's extension; raw for -)")
      ->check(CLI::IsMember({"wav", "raw"}));
  app.add_flag("--f32", f32, "32-bit float samples (full scale +-1.0) taken before the 16-bit conversion");
  app.add_option("--mix", mix, "channel choice: stereo, left, right or mono")
      ->transform(CLI::IsMember({"stereo", "left", "right", "mono"}, CLI::ignore_case));
  app.add_flag("--info", info, "print the first frame header's facts as the library stores them");
  app.add_flag("-n,--null", null_output, "decode without writing anything (for timing)");
  app.add_flag("--no-gapless", no_gapless,
               "every decoded sample, the encoder's delay and padding included (by default they are dropped "
               "where the file's tags give them)");
  bool play = false;
  PlayOptions play_options;
  std::string replaygain = "off";
  GainSettings gain_settings;
#ifdef VEMLA_PLAY_OPTIONS
  app.add_flag("--play", play,
               "play the files on the sound device; in a terminal: space pauses and resumes, the left and right "
               "arrows go 10 s back and forth, q stops");
  app.add_option("--device", play_options.device,
                 "sound device for --play: alsa (ALSA's default), alsa:PCM, null, null:SPEED or wav:PATH "
                 "(default: $VEMLA_AUDIO, else alsa)");
  app.add_option("--priority", play_options.priority,
                 "decode thread priority for --play, 1 Lowest ... 6 Time Critical")
      ->check(CLI::Range(1, 6));
  app.add_option("--replaygain", replaygain,
                 "apply the file's ReplayGain tags: off (default), track, or album (the track's where the file "
                 "has no album gain); clipping prevention keeps the gain times the peak at or below full scale")
      ->check(CLI::IsMember({"off", "track", "album"}));
  app.add_option("--preamp", gain_settings.preamp, "dB added to the ReplayGain gain, -15 to 15 (default 0)")
      ->check(CLI::Range(-kMaxPreamp, kMaxPreamp));
#endif
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "vemla-decode: " + std::string(e.what()) + "\nRun with --help for more information.\n";
  });
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? 0 : 2;  // --help, or bad usage
  }
  if (!play && !info && output.empty() && !null_output) {
    std::cerr << "vemla-decode: name an output with -o (or use --info, --null or --play)\n";
    return 2;
  }
  if (std::count(inputs.begin(), inputs.end(), "-") > 1) {
    std::cerr << "vemla-decode: standard input (-) can be read once only\n";
    return 2;
  }
  replaygain_mode_from_text(replaygain, gain_settings.mode);
#if defined(VEMLA_FULL_DECODER) && !defined(VEMLA_WITH_PLAYBACK)
  if (play || gain_settings.mode != ReplayGainMode::Off) return run_full_decoder(argv);
#endif
  const ChannelChoice choice = channel_choice(mix);

  StopSignals signals;
  std::vector<std::unique_ptr<CommandInput>> sources;
  std::string error;
  {
    // While --play waits for a FIFO's writer, q in a terminal gives up as it stops playing.
    const bool reads_stdin = std::count(inputs.begin(), inputs.end(), "-") > 0;
    std::optional<KeyMode> keys;
    if (play && !reads_stdin && isatty(STDIN_FILENO)) keys.emplace();
    const auto keep_waiting = [&keys] { return !keys || !keys->active() || read_key(0) != Key::Quit; };
    for (const std::string& input : inputs) {
      sources.push_back(std::make_unique<CommandInput>());
      if (!sources.back()->open(input, error, keep_waiting)) {
        if (error.empty()) return StopSignals::exit_status(0);  // stopped while waiting
        std::cerr << "vemla-decode: " << input << ": " << error << '\n';
        return StopSignals::exit_status(1);
      }
    }
  }
  const auto is_an_input = [&sources](const std::string& path) {
    return std::any_of(sources.begin(), sources.end(),
                       [&path](const auto& source) { return source->is_same_file(path); });
  };

#ifdef VEMLA_WITH_PLAYBACK
  if (play) {
    const std::string device =
        play_options.device.empty() ? sound_device_choice_from_environment() : play_options.device;
    if (device.rfind("wav:", 0) == 0 &&
        refuse_same_file(is_an_input, device.substr(4), "the wav: device's file"))
      return 2;
    for (size_t i = 0; i < inputs.size(); ++i) {
      if (!has_audio_frames(sources[i]->path(), inputs[i])) return 1;
      play_options.inputs.push_back({sources[i]->path(), inputs[i], 1.0, {}});
    }
#ifdef VEMLA_WITH_TAGS
    // Each file plays at its own level, as the window plays a track.
    play_options.gains = gain_settings;
    if (gain_settings.mode != ReplayGainMode::Off) {
      for (InputFile& input : play_options.inputs) input.replaygain = read_tags(input.path).gain;
    }
#endif
    play_options.choice = choice;
    play_options.gapless = !no_gapless;
    return StopSignals::exit_status(play_files(play_options));
  }
#endif

  DecodeOptions options;
  for (size_t i = 0; i < inputs.size(); ++i) options.inputs.push_back({sources[i]->path(), inputs[i], 1.0, {}});
  options.info = info;
  options.decode = !output.empty() || null_output;
  if (!null_output) options.output = output;
  if (refuse_same_file(is_an_input, options.output, "the output")) return 2;
  options.wav = format.empty() ? ends_with(output, ".wav") || ends_with(output, ".WAV") : format == "wav";
  options.f32 = f32;
  options.choice = choice;
  options.gapless = !no_gapless;
#ifdef VEMLA_WITH_TAGS
  // Each file plays at its own level, as the player's tracks do.
  if (gain_settings.mode != ReplayGainMode::Off) {
    for (InputFile& input : options.inputs) input.gain = gain_factor(gain_settings, read_tags(input.path).gain);
  }
#endif
  return StopSignals::exit_status(decode_command(options));
}
