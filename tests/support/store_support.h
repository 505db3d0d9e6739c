// Helpers of the table-store suites: library tables in a temporary folder and work done in a child process.
#pragma once

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "rows.h"
#include "schema.h"
#include "store.h"
#include "table.h"

namespace vemla::test {

// Creates the track table N.db (with N.mb) and the category-name table N1.db in folder.
inline void create_library(const std::filesystem::path& folder, const std::string& base) {
  Table tracks(library_tables(base).tracks);
  tracks.set_location(folder);
  tracks.create_table(track_columns());
  Table categories(library_tables(base).categories);
  categories.set_location(folder);
  categories.create_table(category_columns());
}

inline void name_table(Table& table, const std::filesystem::path& folder, const std::string& name) {
  table.set_location(folder);
  table.set_table_name(name);
}

// Appends one track row with a title (and, when given, a memo).
inline void append_track(Table& table, const std::string& title, const std::string& memo = {}) {
  table.append();
  set(table, TrackTable::title, title);
  if (!memo.empty()) set(table, TrackTable::memo, memo);
  table.post();
}

inline std::string title(Table& table) {
  return get(table, TrackTable::title);
}

inline std::string file_text(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_text(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

// Runs body in a forked child and returns its exit status; -1 when it did not exit normally.
inline int in_child(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    int status = 99;
    try {
      status = body();
    } catch (...) {
      status = 98;
    }
    ::_exit(status);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs body in a forked child that can read the folder's files but not write them or the folder: a user
// without rights on them when the test runs as root, else the same user with the rights taken away meanwhile.
inline int in_child_reading_only(const std::filesystem::path& folder, const std::function<int()>& body) {
  namespace fs = std::filesystem;
  if (::geteuid() == 0) {
    return in_child([&] {
      constexpr uid_t kNobody = 65534;
      if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) return 97;
      return body();
    });
  }
  const auto set_writable = [&](bool writable) {
    for (const auto& entry : fs::directory_iterator(folder))
      fs::permissions(entry.path(), fs::perms::owner_write,
                      writable ? fs::perm_options::add : fs::perm_options::remove);
    fs::permissions(folder, fs::perms::owner_write, writable ? fs::perm_options::add : fs::perm_options::remove);
  };
  set_writable(false);
  const int status = in_child(body);
  set_writable(true);
  return status;
}

// The peak resident set size of this process in kB (VmHWM of /proc/self/status).
inline long peak_rss_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Creates the library base in folder and opens its track table in tracks.
inline void open_new_library(Table& tracks, const std::filesystem::path& folder, const std::string& base) {
  create_library(folder, base);
  name_table(tracks, folder, library_tables(base).tracks);
  tracks.open();
}

// A file system of 2 MB of its own on folder, for a disk that fills up; mounting needs root.
class SmallDisk {
 public:
  explicit SmallDisk(const std::filesystem::path& folder) : folder_(folder) {
    std::filesystem::create_directories(folder);
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=2m") == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
};

}  // namespace vemla::test
