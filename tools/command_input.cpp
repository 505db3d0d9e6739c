#include "command_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "stop_signals.h"

namespace vemla {
namespace {

std::string temporary_folder() {
  const char* folder = std::getenv("TMPDIR");
  return folder && *folder ? folder : "/tmp";
}

bool write_all(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t done = ::write(fd, data, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

}  // namespace

CommandInput::~CommandInput() {
  if (copy_fd_ >= 0) ::close(copy_fd_);
  if (!copy_name_.empty()) ::unlink(copy_name_.c_str());
}

bool CommandInput::open(const std::string& name, std::string& error, const std::function<bool()>& keep_waiting) {
  error.clear();
  // Without O_NONBLOCK, opening a FIFO waits for a writer where no signal can end the wait in time.
  const bool standard_input = name == "-";
  const int fd = standard_input ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) {
    error = std::strerror(errno);
  } else if (S_ISDIR(st.st_mode)) {
    error = std::strerror(EISDIR);
    ok = false;
  } else {
    // Only a regular file can be lost by writing over it; a terminal may well be both input and output.
    identified_ = S_ISREG(st.st_mode);
    device_ = st.st_dev;
    inode_ = st.st_ino;
    if (S_ISREG(st.st_mode) && !standard_input)
      path_ = name;
    else
      ok = copy(fd, error, keep_waiting);
  }
  if (!standard_input) ::close(fd);
  return ok;
}

bool CommandInput::copy(int from, std::string& error, const std::function<bool()>& keep_waiting) {
  const std::string folder = temporary_folder();
  copy_fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (copy_fd_ >= 0) {
    // The copy has no name; the process reaches it through its descriptor.
    path_ = "/proc/self/fd/" + std::to_string(copy_fd_);
    if (::access(path_.c_str(), R_OK) != 0) {
      ::close(copy_fd_);
      copy_fd_ = -1;
    }
  }
  if (copy_fd_ < 0) {
    std::string pattern = folder + "/vemla-decode-XXXXXX";
    copy_fd_ = ::mkstemp(pattern.data());
    if (copy_fd_ < 0) {
      error = "cannot make a temporary copy in " + folder + ": " + std::strerror(errno);
      return false;
    }
    copy_name_ = path_ = pattern;
  }

  char buffer[64 * 1024];
  for (;;) {
    if (StopSignals::stop_requested() || (keep_waiting && !keep_waiting())) return false;
    pollfd in{from, POLLIN, 0};
    const int ready = ::poll(&in, 1, 100);
    if (ready < 0 && errno != EINTR) {
      error = std::strerror(errno);
      return false;
    }
    if (ready <= 0) continue;
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      error = std::strerror(errno);
      return false;
    }
    if (n == 0) return true;
    if (!write_all(copy_fd_, buffer, static_cast<size_t>(n))) {
      error = "cannot make a temporary copy in " + folder + ": " + std::strerror(errno ? errno : EIO);
      return false;
    }
  }
}

bool CommandInput::is_same_file(const std::string& path) const {
  if (!identified_) return false;
  struct stat st {};
  if (path == "-" ? ::fstat(STDOUT_FILENO, &st) != 0 : ::stat(path.c_str(), &st) != 0) return false;
  return st.st_dev == device_ && st.st_ino == inode_;
}

}  // namespace vemla
