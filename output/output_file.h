// A file being written under a temporary name beside its target and renamed into place when complete, so
// that a run that fails or is killed half-way never leaves a half-written file under the target's name, and a
// target that existed stays as it was until then.
#pragma once

#include <cstdio>
#include <string>

namespace vemla {

class OutputFile {
 public:
  // Creates the temporary file (same folder, a fresh name made with O_EXCL, the mode a new file gets, or the
  // target's mode when it exists). "-" (standard output) and an existing target that is not a regular file
  // (/dev/null, a FIFO) cannot be replaced: they are written straight through. A symbolic link is replaced
  // where it points. Throws std::runtime_error with the system's reason when the file cannot be created.
  explicit OutputFile(const std::string& path);
  // Discards the file unless it was committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The open stream; null after commit or discard.
  std::FILE* stream() const { return file_; }
  // Flushes and closes the file and renames it into place. False, with the reason in error() and the
  // temporary file removed, when anything failed (the target is then untouched), or after discard().
  bool commit();
  // Closes and removes the temporary file; the target stays as it was.
  void discard();

  // Where the data goes: the target, or the temporary name while it is being written.
  const std::string& target() const { return target_; }
  const std::string& temporary() const { return temporary_; }
  // True when the data goes straight to the target (no temporary file).
  bool direct() const { return temporary_.empty(); }
  // The system's reason for the last failure, or empty.
  const std::string& error() const { return error_; }

 private:
  void close_stream();

  std::string target_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
  bool owns_stream_ = false;
  bool committed_ = false;
  std::string error_;
};

}  // namespace vemla
