// The library's long work: the import of 1,000 copies of a 30-second tagged MP3 into a new library beside 100
// copies (files per second, each the median of three runs on a warm cache), and fix of about 1 GB of audio
// beside 100 MB (speed, and the peak resident memory of a process that does nothing else: it must not grow
// with the amount of audio). Needs lame. Run: build/bench/import_bench [--keep]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data.h"
#include "library_files.h"
#include "table.h"
#include "test_signal.h"
#include "track_import.h"
#include "track_ops.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void fail(const std::string& text) {
  std::fprintf(stderr, "import_bench: %s\n", text.c_str());
  std::exit(1);
}

// A folder of `count` copies of the file, read once so that the cache is warm.
fs::path copies(const fs::path& root, const fs::path& file, int count, const std::string& name) {
  const fs::path folder = root / name;
  fs::create_directories(folder);
  std::vector<char> bytes(fs::file_size(file));
  std::ifstream(file, std::ios::binary).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  for (int i = 0; i < count; ++i) {
    char file_name[32];
    std::snprintf(file_name, sizeof file_name, "%05d.mp3", i);
    std::ofstream(folder / file_name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  return folder;
}

// A new library in its own folder, open in db.
void new_library(Tdb& db, const fs::path& folder) {
  fs::create_directories(folder);
  if (create_library(db, {folder, "Bench"}) != CreateResult::Created) fail("cannot create " + folder.string());
}

// Seconds to import the folder's files into a new library (audio kept on disk).
double import_seconds(const fs::path& root, const fs::path& folder, const std::string& name, int expected) {
  Tdb db(root / "home");
  new_library(db, root / name);
  const auto start = Clock::now();
  ImportJob job(db.Table1, {folder}, false);
  if (!run_to_end(job) || job.added() != expected) fail("the import of " + folder.string() + " failed: " + job.error());
  return seconds_since(start);
}

double median_import_rate(const fs::path& root, const fs::path& folder, int count) {
  std::vector<double> rates;
  for (int run = 0; run < 3; ++run) {
    rates.push_back(count / import_seconds(root, folder, "lib" + std::to_string(count) + "-" + std::to_string(run), count));
  }
  std::sort(rates.begin(), rates.end());
  return rates[1];
}

struct FixRun {
  double seconds = 0;
  double megabytes = 0;
  long peak_rss_kb = 0;
};

// Imports the folder's files into a new library, then fixes it in a new process that does nothing else,
// whose peak resident memory the kernel reports when it ends.
FixRun fix_in_child(const fs::path& root, const fs::path& folder, const std::string& name) {
  FixRun run;
  for (const auto& entry : fs::directory_iterator(folder)) run.megabytes += entry.file_size() / 1e6;
  {
    Tdb db(root / "home");
    new_library(db, root / name);
    ImportJob job(db.Table1, {folder}, false);
    if (!run_to_end(job)) fail("the import for the fix failed: " + job.error());
  }
  const auto start = Clock::now();
  // A fresh image of this program, started without copying this process (a fork's copy of its memory would
  // count in the child's peak).
  const std::string folder_arg = (root / name).string(), home_arg = (root / "home").string();
  char* const child_argv[] = {const_cast<char*>("import_bench"), const_cast<char*>("--fix"),
                              const_cast<char*>(folder_arg.c_str()), const_cast<char*>(home_arg.c_str()), nullptr};
  pid_t child = 0;
  if (::posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, child_argv, environ) != 0) fail("cannot start");
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail("the fix of " + name + " failed");
  run.seconds = seconds_since(start);
  std::ifstream((root / name).string() + ".rss") >> run.peak_rss_kb;
  fs::remove_all(root / name);
  return run;
}

// This process's peak resident memory in kB (VmHWM: of this program image only, unlike a child's rusage,
// which can include what it was started from).
long peak_rss_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// The child's work: fix the library in the folder, then write its peak memory into the folder's ".rss" file;
// status 0 when every track was filled.
int fix_library(const fs::path& folder, const fs::path& home) {
  Tdb db(home);
  open_library(db, {folder, "Bench"});
  FixJob job(db.Table1);
  const bool filled = run_to_end(job) && job.filled() == db.Table1.record_count();
  close_library(db);
  std::ofstream(folder.string() + ".rss") << peak_rss_kb();
  return filled ? 0 : 1;
}

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  using namespace vemla;
  if (argc == 4 && std::string(argv[1]) == "--fix") return fix_library(argv[2], argv[3]);
  const bool keep = argc > 1 && std::string(argv[1]) == "--keep";
  std::string pattern = (std::filesystem::temp_directory_path() / "vemla-import-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) fail("cannot make a temporary folder");
  const std::filesystem::path root = pattern;

  write_test_signal_wav((root / "signal.wav").string(), 30, 44100, 2);
  namespace fs = std::filesystem;
  const fs::path track = root / "track.mp3";
  const std::string lame = "lame --quiet -b 128 --tt 'Benchmark title' --ta 'Artist' --tl 'Album' --tc 'Comment' "
                           "--add-id3v2 '" + (root / "signal.wav").string() + "' '" + track.string() + "'";
  if (std::system(lame.c_str()) != 0 || !fs::exists(track)) fail("lame is needed to make the test file");

  const fs::path hundred = copies(root, track, 100, "in100");
  const fs::path thousand = copies(root, track, 1000, "in1000");
  import_seconds(root, hundred, "warm", 100);  // warms the cache and the code
  const double rate100 = median_import_rate(root, hundred, 100);
  const double rate1000 = median_import_rate(root, thousand, 1000);
  std::printf("import, 30-second tagged MP3 files kept on disk (median of 3, warm cache):\n");
  std::printf("  100 files:   %8.0f files/s\n", rate100);
  std::printf("  1000 files:  %8.0f files/s   (ratio 1000/100: %.2f)\n", rate1000, rate1000 / rate100);

  // About 10 MB a file: the 30-second file 21 times over (the import reads its first header only).
  const fs::path big = root / "big.mp3";
  {
    std::ifstream in(track, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream out(big, std::ios::binary);
    for (int i = 0; i < 21; ++i) out << bytes;
  }
  const fs::path small_set = copies(root, big, 10, "fix100");
  const FixRun fix100 = fix_in_child(root, small_set, "fixlib100");
  fs::remove_all(small_set);
  const fs::path large_set = copies(root, big, 100, "fix1000");
  const FixRun fix1000 = fix_in_child(root, large_set, "fixlib1000");
  std::printf("fix, audio stored into the library:\n");
  std::printf("  %5.0f MB:  %6.0f MB/s, peak resident %6ld kB\n", fix100.megabytes, fix100.megabytes / fix100.seconds,
              fix100.peak_rss_kb);
  std::printf("  %5.0f MB:  %6.0f MB/s, peak resident %6ld kB   (memory ratio: %.2f)\n", fix1000.megabytes,
              fix1000.megabytes / fix1000.seconds, fix1000.peak_rss_kb,
              static_cast<double>(fix1000.peak_rss_kb) / fix100.peak_rss_kb);

  if (keep) {
    std::printf("files kept in %s\n", root.c_str());
  } else {
    fs::remove_all(root);
  }
  return 0;
}
