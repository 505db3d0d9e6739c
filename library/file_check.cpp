#include "file_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vemla {

std::string why_unreadable(const std::filesystem::path& file) {
  if (file.empty()) return "no file name";
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) {
    return errno == ENOENT ? "no such file" : std::string("cannot be read: ") + std::strerror(errno);
  }
  if (S_ISDIR(status.st_mode)) return "is a folder";
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string("cannot be opened: ") + std::strerror(errno);
  ::close(fd);
  return {};
}

}  // namespace vemla
