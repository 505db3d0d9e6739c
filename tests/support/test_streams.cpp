#include "test_streams.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <vector>

#include "support.h"
#include "wav_file.h"

namespace vemla::test {

void write_test_wav(const std::filesystem::path& path, unsigned channels, unsigned frequency,
                    double seconds) {
  const auto frames = static_cast<size_t>(seconds * frequency);
  std::vector<int16_t> pcm(frames * channels);
  for (size_t i = 0; i < frames; ++i)
    for (unsigned c = 0; c < channels; ++c) {
      const double tone = c == 0 ? 440.0 : 1250.0;
      pcm[i * channels + c] =
          static_cast<int16_t>(9000.0 * std::sin(2 * std::numbers::pi * tone * i / frequency));
    }
  WavFile wav(path.string(), channels, frequency, WavFile::Sample::Int16);
  wav.write(pcm.data(), pcm.size());
  wav.finish();
}

bool make_layer2(const std::filesystem::path& out, unsigned channels, unsigned frequency, double seconds,
                 const std::string& extra) {
  if (!have_program("twolame")) return false;
  const std::filesystem::path wav = out.string() + ".wav";
  write_test_wav(wav, channels, frequency, seconds);
  const std::string mode = channels == 1 ? "-m m" : "-m s";
  return run("twolame --quiet -b " + std::string(channels == 1 ? "96" : "192") + " " + mode + " " + extra +
             " '" + wav.string() + "' '" + out.string() + "' >/dev/null 2>&1") == 0 &&
         std::filesystem::exists(out);
}

bool make_layer3(const std::filesystem::path& out, unsigned channels, unsigned frequency, double seconds) {
  if (!have_program("lame")) return false;
  const std::filesystem::path wav = out.string() + ".wav";
  write_test_wav(wav, channels, frequency, seconds);
  return run("lame --quiet -t -b 128 " + std::string(channels == 1 ? "-m m" : "-m s") + " '" + wav.string() +
             "' '" + out.string() + "' >/dev/null 2>&1") == 0 &&
         std::filesystem::exists(out);
}

bool make_long_layer3(const std::filesystem::path& out, int copies) {
  const std::filesystem::path part = out.string() + ".part.mp3";
  if (!make_layer3(part, 2, 44100, 20.0)) return false;
  const std::vector<uint8_t> one = read_file(part);
  std::vector<uint8_t> all;
  for (int k = 0; k < copies; ++k) all.insert(all.end(), one.begin(), one.end());
  write_file(out, all);
  return true;
}

std::vector<std::filesystem::path> part_files(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".part") found.push_back(entry.path());
  return found;
}

uint64_t part_bytes(const std::filesystem::path& folder) {
  uint64_t bytes = 0;
  std::error_code ec;  // a file may be renamed away while it is looked at
  for (const auto& part : part_files(folder)) {
    const uint64_t size = std::filesystem::file_size(part, ec);
    if (!ec) bytes += size;
  }
  return bytes;
}

bool wav_sizes_agree(const std::filesystem::path& path) {
  const std::vector<uint8_t> b = read_file(path);
  const auto le32 = [&](size_t at) {
    return uint64_t{b[at]} | uint64_t{b[at + 1]} << 8 | uint64_t{b[at + 2]} << 16 | uint64_t{b[at + 3]} << 24;
  };
  return b.size() > 44 && std::equal(b.begin(), b.begin() + 4, "RIFF") && le32(4) == b.size() - 8 &&
         le32(40) == b.size() - 44;
}

std::unique_ptr<Header> header_of_frames(const std::filesystem::path& file, uint32_t word,
                                         unsigned frame_bytes, unsigned count) {
  {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> frame(frame_bytes, 0);
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>(word >> (24 - 8 * i));
    for (unsigned i = 0; i < count; ++i) out.write(frame.data(), static_cast<std::streamsize>(frame.size()));
  }
  Ibitstream stream(file.string());
  auto header = std::make_unique<Header>();
  Crc16* crc = nullptr;
  if (!header->read_frame_header(stream, crc)) return nullptr;
  return header;
}

}  // namespace vemla::test
