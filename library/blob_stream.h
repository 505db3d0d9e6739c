// Moving blob values between files and the table files in chunks, so that an audio file of hundreds of
// megabytes is never held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

struct sqlite3_blob;

namespace vemla {

constexpr size_t kBlobChunk = size_t{1} << 20;

// A blob value waiting for its post: a private copy of a file in an unnamed temporary file, so that the value
// is what the file held when it was loaded even when that file changes or goes before the post.
class PendingBlob {
 public:
  // Copies the file; a TableError when it cannot be opened or read. The copy lies in scratch_folder when that
  // folder takes unnamed files (the table's own disk), else in the system's temporary folder.
  PendingBlob(const std::filesystem::path& source, const std::filesystem::path& scratch_folder);
  ~PendingBlob();
  PendingBlob(const PendingBlob&) = delete;
  PendingBlob& operator=(const PendingBlob&) = delete;

  int64_t size() const { return size_; }
  // Reads length bytes at offset; a TableError on a short read.
  void read(void* buffer, size_t length, int64_t offset) const;
  // Creates or overwrites target with the bytes.
  void save_to(const std::filesystem::path& target) const;

 private:
  int fd_ = -1;
  int64_t size_ = 0;
};

// Streams the pending value into an open blob handle of exactly its size.
void write_blob(sqlite3_blob* blob, const PendingBlob& value);
// Creates or overwrites target with the bytes of an open blob handle (null: an empty file); an error names
// source, the file the blob is read from, when given.
void save_blob(sqlite3_blob* blob, const std::filesystem::path& target,
               const std::filesystem::path& source = {});

}  // namespace vemla
