// What the window benchmarks share: a scratch folder with settings of its own, a library of many tracks
// written straight into its table, the program on a silent device, and a piece of work timed as the window's
// thread is busy with it.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace vemla {

class Program;
class Table;

namespace bench {

// Says what went wrong, after the benchmark's name, and ends the program.
[[noreturn]] void fail(const std::string& text);

// A new folder in the temporary folder, named after `prefix`; the settings and the cache go below it, and the
// windows to the offscreen platform unless another is chosen.
std::filesystem::path scratch_folder(const std::string& prefix);

// The library "Bench" of `count` tracks in root/lib<count>, its rows written in one batch: `fill` sets the
// fields of the new row `index` (0-based), which is then posted. Returns the library's file.
std::filesystem::path make_library(const std::filesystem::path& root, int count,
                                   const std::function<void(Table& tracks, int index)>& fill);

// Milliseconds the work and the events it left take on this thread.
double busy_ms(const std::function<void()>& work);

// The program as a user's would run, on a silent device 500 times faster than real time, with no message
// box waiting for a user and the settings table open. A QApplication must exist.
std::unique_ptr<Program> make_program();

}  // namespace bench
}  // namespace vemla
