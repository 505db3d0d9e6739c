#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace vemla {
namespace {

namespace fs = std::filesystem;

std::string reason(int error) { return std::strerror(error); }

// The file a write to `path` would reach: a symbolic link (also a chain) is followed to its target.
std::string resolved_target(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  const fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target.string();
}

// The part of a file name that a temporary name beside it repeats: the whole name, or, where the name is so
// long that ".NAME.XXXXXXXX.part" would pass the folder's limit on a name's length, its start.
std::string name_stem(const fs::path& folder, const std::string& name) {
  constexpr size_t kAdded = 15;  // ".", ".XXXXXXXX" and ".part"
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  const size_t longest = limit > static_cast<long>(kAdded) ? static_cast<size_t>(limit) - kAdded : 240;
  return name.size() <= longest ? name : name.substr(0, longest);
}

// A new file beside `target` named ".NAME.XXXXXXXX.part", created exclusively; -1 with errno set when none
// could be made.
int create_beside(const std::string& target, mode_t mode, std::string& name) {
  const fs::path where(target);
  const fs::path folder = where.has_parent_path() ? where.parent_path() : fs::path(".");
  const std::string stem = name_stem(folder, where.filename().string());
  // One generator per thread: files are made on several threads at once (decode runs, tests).
  thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    name = (folder / ("." + stem + "." + suffix + ".part")).string();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : target_(path) {
  if (path == "-") {
    file_ = stdout;
    return;
  }
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) throw std::runtime_error("cannot create " + path + ": " + reason(EISDIR));
  if (exists && !S_ISREG(st.st_mode)) {
    // A device or a FIFO is written as it is: replacing /dev/null with a file would be a disaster.
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw std::runtime_error("cannot open " + path + ": " + reason(errno));
    owns_stream_ = true;
    return;
  }
  target_ = resolved_target(path);
  const int fd = create_beside(target_, exists ? (st.st_mode & 0777) : 0666, temporary_);
  if (fd < 0) {
    const int error = errno;
    temporary_.clear();
    throw std::runtime_error("cannot create " + path + ": " + reason(error));
  }
  // The mode given to open() was narrowed by the umask; a replaced file keeps its own.
  if (exists) (void)::fchmod(fd, st.st_mode & 0777);
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary_.c_str());
    temporary_.clear();
    throw std::runtime_error("cannot create " + path + ": " + reason(error));
  }
  owns_stream_ = true;
}

OutputFile::~OutputFile() {
  if (file_) discard();
}

void OutputFile::close_stream() {
  if (!file_) return;
  errno = 0;
  const bool flushed = std::fflush(file_) == 0;
  int error = errno;
  bool closed = true;
  if (owns_stream_) {
    errno = 0;
    closed = std::fclose(file_) == 0;
    if (!closed && error == 0) error = errno;
  }
  file_ = nullptr;
  if ((!flushed || !closed) && error_.empty()) error_ = reason(error ? error : EIO);
}

bool OutputFile::commit() {
  if (!file_) return committed_;
  close_stream();
  if (!direct()) {
    if (error_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) error_ = reason(errno);
    if (!error_.empty()) ::unlink(temporary_.c_str());
  }
  committed_ = error_.empty();
  return committed_;
}

void OutputFile::discard() {
  const bool had_file = file_ != nullptr;
  close_stream();
  if (had_file && !direct()) ::unlink(temporary_.c_str());
}

}  // namespace vemla
