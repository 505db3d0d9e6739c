// The input file of a command, checked before anything is decoded. A regular file is read where it is; what
// standard input ("-"), a FIFO or a device delivers is first copied into an unnamed temporary file, because
// the decoder reads by position. Waiting for a writer or for data ends on a stop signal (see StopSignals) or
// when the caller says so.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace vemla {

class CommandInput {
 public:
  CommandInput() = default;
  // Closes the copy, which leaves nothing behind.
  ~CommandInput();
  CommandInput(const CommandInput&) = delete;
  CommandInput& operator=(const CommandInput&) = delete;

  // Opens `name`. False when it cannot be read, with the system's reason in `error` ("No such file or
  // directory", "Is a directory", "Permission denied"), or when a stop signal or `keep_waiting` (asked
  // between reads) ended the wait, with `error` empty.
  bool open(const std::string& name, std::string& error, const std::function<bool()>& keep_waiting = {});

  // The file to decode: the name given, or the copy.
  const std::string& path() const { return path_; }
  // True when the input is a regular file and `path` names it, however (another path, a symbolic or hard
  // link); "-" stands for standard output.
  bool is_same_file(const std::string& path) const;

 private:
  bool copy(int from, std::string& error, const std::function<bool()>& keep_waiting);

  std::string path_;
  int copy_fd_ = -1;
  std::string copy_name_;  // the copy's name where the system could not make it unnamed
  bool identified_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace vemla
