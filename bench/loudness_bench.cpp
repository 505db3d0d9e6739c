// The loudness scan and the gain stage. Scan speed as seconds of audio per CPU second, with the sample peak
// and with the true peak, beside a plain decode of the same file and beside ffmpeg's ebur128 filter on it
// (the peer); and the CPU of decoding with a ReplayGain factor beside decoding without (expect a ratio of 1:
// the gain rides on the synthesis filter's scale). Each figure is the best of five runs on a warm cache.
// Needs lame; ffmpeg for the peer. Run: build/bench/loudness_bench [MINUTES]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "bitstream.h"
#include "frame_decoder.h"
#include "header.h"
#include "loudness_meter.h"
#include "test_signal.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

double cpu_seconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The least CPU time of five runs of `work` in this process.
double best_cpu(const std::function<void()>& work) {
  double best = 1e300;
  for (int run = 0; run < 5; ++run) {
    const double start = cpu_seconds(RUSAGE_SELF);
    work();
    best = std::min(best, cpu_seconds(RUSAGE_SELF) - start);
  }
  return best;
}

// The least CPU time of five runs of a shell command (its children's time).
double best_child_cpu(const std::string& command) {
  double best = 1e300;
  for (int run = 0; run < 5; ++run) {
    const double start = cpu_seconds(RUSAGE_CHILDREN);
    if (std::system(command.c_str()) != 0) return -1;
    best = std::min(best, cpu_seconds(RUSAGE_CHILDREN) - start);
  }
  return best;
}

class NullSink final : public Obuffer {
 public:
  void put_sample(int, int16_t) override {}
  void put_samples(int, const int16_t*, int) override {}
  void end_frame(int) override {}
  void clear() override {}
  void request_stop() override {}
};

void decode(const fs::path& file, float scale) {
  Ibitstream stream(file.string());
  Header header;
  Crc16* crc = nullptr;
  if (!header.read_frame_header(stream, crc)) return;
  NullSink sink;
  FrameDecoder decoder(stream, header, sink, ChoiceStereo, scale);
  decoder.decode_all();
}

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  using namespace vemla;
  const double minutes = argc > 1 ? std::atof(argv[1]) : 5.0;
  const fs::path folder = fs::temp_directory_path() / ("vemla-loudness-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path wav = folder / "music.wav", mp3 = folder / "music.mp3";
  write_test_signal_wav(wav.string(), minutes * 60, 44100, 2);
  if (std::system(("lame --quiet -b 192 '" + wav.string() + "' '" + mp3.string() + "'").c_str()) != 0) {
    std::fprintf(stderr, "loudness_bench: lame is needed\n");
    return 1;
  }
  const double audio = minutes * 60;
  std::printf("%.0f s of music-like audio, MPEG-1 Layer III 192 kbit/s stereo\n", audio);

  const double plain = best_cpu([&] { decode(mp3, 32768.0f); });
  const double gained = best_cpu([&] { decode(mp3, 32768.0f * 0.5f); });
  std::printf("decode without gain: %.3f s CPU; with a gain of 0.5: %.3f s CPU; ratio %.3f\n", plain, gained,
              gained / plain);

  for (const auto peak : {LoudnessMeter::Peak::Sample, LoudnessMeter::Peak::True}) {
    const double scan = best_cpu([&] {
      LoudnessMeter meter(mp3, peak);
      meter.measure_all();
    });
    std::printf("scan with the %s peak: %.3f s CPU, %.0fx real time; %.2f x the CPU of the plain decode\n",
                peak == LoudnessMeter::Peak::Sample ? "sample" : "true", scan, audio / scan, scan / plain);
  }
  const double peer = best_child_cpu("ffmpeg -v error -nostats -i '" + mp3.string() +
                                     "' -af ebur128=peak=sample -f null - >/dev/null 2>&1");
  if (peer > 0) std::printf("ffmpeg ebur128 (sample peak): %.3f s CPU, %.0fx real time\n", peer, audio / peer);
  fs::remove_all(folder);
  return 0;
}
