#include "blob_stream.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "table_error.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

std::string system_error_text(const std::string& what, const fs::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

// An unnamed file that vanishes with its descriptor: O_TMPFILE where the file system has it, else a named
// file removed at once.
int open_scratch_file(const fs::path& folder, fs::path& used) {
  for (const fs::path& candidate : {folder, fs::temp_directory_path()}) {
    if (candidate.empty()) continue;
    used = candidate;
    int fd = ::open(candidate.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string name = (candidate / ".vemla-blob-XXXXXX").string();
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
      ::unlink(name.c_str());
      return fd;
    }
  }
  throw TableError("Cannot create a temporary file for a blob: " + std::string(std::strerror(errno)));
}

void write_all(int fd, const char* data, size_t length, const fs::path& path) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == ENOSPC)
      throw TableError("The disk holding " + path.string() + " is full: make room there and try again");
    if (written <= 0) throw TableError(system_error_text("Cannot write", path));
    data += written;
    length -= static_cast<size_t>(written);
  }
}

// A file descriptor closed at the end of its scope.
struct FileHandle {
  int fd;
  explicit FileHandle(int descriptor) : fd(descriptor) {}
  ~FileHandle() {
    if (fd >= 0) ::close(fd);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  // Closes now, so that a failing close (a full disk found late) is reported.
  void close_checked(const fs::path& path) {
    const int result = ::close(fd);
    fd = -1;
    if (result != 0) throw TableError(system_error_text("Cannot write", path));
  }
};

int create_target(const fs::path& target) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw TableError(system_error_text("Cannot create file", target));
  return fd;
}

}  // namespace

PendingBlob::PendingBlob(const fs::path& source, const fs::path& scratch_folder) {
  FileHandle in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.fd < 0) throw TableError(system_error_text("Cannot open file", source));
  fs::path folder;
  fd_ = open_scratch_file(scratch_folder, folder);
  try {
    auto buffer = std::make_unique<char[]>(kBlobChunk);
    for (;;) {
      const ssize_t got = ::read(in.fd, buffer.get(), kBlobChunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) throw TableError(system_error_text("Cannot read file", source));
      if (got == 0) break;
      write_all(fd_, buffer.get(), static_cast<size_t>(got), folder);  // named by its folder, the file has none
      size_ += got;
    }
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

PendingBlob::~PendingBlob() {
  ::close(fd_);
}

void PendingBlob::read(void* buffer, size_t length, int64_t offset) const {
  auto* out = static_cast<char*>(buffer);
  while (length > 0) {
    const ssize_t got = ::pread(fd_, out, length, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0)
      throw TableError("Cannot read the temporary blob file: " + std::string(std::strerror(errno)));
    out += got;
    offset += got;
    length -= static_cast<size_t>(got);
  }
}

void PendingBlob::save_to(const fs::path& target) const {
  FileHandle out(create_target(target));
  auto buffer = std::make_unique<char[]>(kBlobChunk);
  for (int64_t offset = 0; offset < size_;) {
    const size_t length = static_cast<size_t>(std::min<int64_t>(kBlobChunk, size_ - offset));
    read(buffer.get(), length, offset);
    write_all(out.fd, buffer.get(), length, target);
    offset += static_cast<int64_t>(length);
  }
  out.close_checked(target);
}

void write_blob(sqlite3_blob* blob, const PendingBlob& value) {
  auto buffer = std::make_unique<char[]>(kBlobChunk);
  for (int64_t offset = 0; offset < value.size();) {
    const size_t length = static_cast<size_t>(std::min<int64_t>(kBlobChunk, value.size() - offset));
    value.read(buffer.get(), length, offset);
    const int rc = sqlite3_blob_write(blob, buffer.get(), static_cast<int>(length), static_cast<int>(offset));
    if (rc != SQLITE_OK) throw TableError(std::string("Cannot store a blob: ") + sqlite3_errstr(rc));
    offset += static_cast<int64_t>(length);
  }
}

void save_blob(sqlite3_blob* blob, const fs::path& target, const fs::path& source) {
  FileHandle out(create_target(target));
  const int size = blob ? sqlite3_blob_bytes(blob) : 0;
  auto buffer = std::make_unique<char[]>(kBlobChunk);
  for (int offset = 0; offset < size;) {
    const int length = std::min(static_cast<int>(kBlobChunk), size - offset);
    const int rc = sqlite3_blob_read(blob, buffer.get(), length, offset);
    if (rc != SQLITE_OK) {
      const std::string of = source.empty() ? std::string() : " of " + source.string();
      throw TableError("Cannot read a blob" + of + ": " + sqlite3_errstr(rc));
    }
    write_all(out.fd, buffer.get(), static_cast<size_t>(length), target);
    offset += length;
  }
  out.close_checked(target);
}

}  // namespace vemla
