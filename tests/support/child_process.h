// A program the test runs as its own child process (no shell in between, so that no signal is ignored on the
// way), with its standard streams where the test wants them, signalled and waited for with a deadline.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vemla::test {

class ChildProcess {
 public:
  // Starts `arguments` (the program first). Standard input comes from `input` (a descriptor, e.g. a
  // terminal), else from /dev/null; standard output and error go to `output` and `errors`.
  ChildProcess(const std::vector<std::string>& arguments, const std::filesystem::path& output,
               const std::filesystem::path& errors, int input = -1);
  // Kills and reaps a child that is still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int number) const;
  // Waits for the end: the exit status, kKilledBy + N when signal N killed it, or -1 when it has not ended
  // after a generous limit (it is then killed).
  int wait();
  static constexpr int kKilledBy = 256;
  // True once the child has ended (it is reaped then).
  bool ended();
  // True while the child has `file` open.
  bool holds_open(const std::filesystem::path& file) const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace vemla::test
