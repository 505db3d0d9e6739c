#include "temporary_track.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include "table.h"

namespace vemla {

namespace fs = std::filesystem;

fs::path temporary_track_path(unsigned n) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) return {};
  const fs::path path = folder.toStdString();
  struct stat st {};
  // A folder itself (not a link to one), owned by this user, closed to everyone else.
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      (st.st_mode & 077) != 0)
    return {};
  return path / (n == 0 ? std::string("$$$$$$$$.mp3") : "$$$$$$$$-" + std::to_string(n) + ".mp3");
}

std::string write_temporary_track(const Field& data, const fs::path& file) {
  return write_temporary_track([&data](const fs::path& into) { data.save_to_file(into); }, file);
}

std::string write_temporary_track(const std::function<void(const fs::path&)>& save, const fs::path& file) {
  if (file.empty()) return "there is no private runtime folder for it (XDG_RUNTIME_DIR)";
  if (::unlink(file.c_str()) != 0 && errno != ENOENT) return std::strerror(errno);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return std::strerror(errno);
  // The blob is written through the descriptor just created (its /proc name reopens that very file), so that
  // nothing swapped in under the file's name since can receive it.
  const fs::path through = "/proc/self/fd/" + std::to_string(fd);
  std::string reason;
  try {
    save(fs::exists(through) ? through : file);
  } catch (const std::exception& error) {
    reason = error.what();
    // The user knows the file by its name.
    for (size_t at; (at = reason.find(through.string())) != std::string::npos;)
      reason.replace(at, through.string().size(), file.string());
  }
  if (::close(fd) != 0 && reason.empty()) reason = std::strerror(errno);
  if (!reason.empty()) ::unlink(file.c_str());
  return reason;
}

}  // namespace vemla
