#include "staged_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "table_error.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kStagePrefix = ".vemla-stage-";
constexpr const char* kPlan = ".plan";
constexpr const char* kPlanDraft = ".plan.new";
constexpr std::string_view kPut = "put";
constexpr std::string_view kRemove = "remove";

std::atomic<StageFaultPoint> g_fault_point{nullptr};

void fault_point(const char* step) {
  if (const StageFaultPoint point = g_fault_point.load()) point(step);
}

std::string reason() {
  return std::strerror(errno);
}

void sync_folder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool process_alive(long pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The number that starts text and ends where `end` begins; -1 when there is none.
long number_before(std::string_view text, std::string_view end) {
  long value = 0;
  size_t i = 0;
  for (; i < text.size() && i < 12 && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + (text[i] - '0');
  if (i == 0 || text.substr(i, end.size()) != end) return -1;
  return value;
}

// The process that made a table's scratch file ".NAME.db.new-PID-N" (".mb", or its journal); -1 for any other
// name.
long scratch_owner(const std::string& name) {
  if (name.empty() || name[0] != '.') return -1;
  const size_t at = name.rfind(".new-");
  if (at == std::string::npos || at < 4) return -1;
  std::string extension = name.substr(at - 3, 3);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension != ".db" && extension != ".mb") return -1;
  std::string_view rest = std::string_view(name).substr(at + 5);
  const long pid = number_before(rest, "-");
  if (pid < 0) return -1;
  rest.remove_prefix(rest.find('-') + 1);
  size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits == 0) return -1;
  rest.remove_prefix(digits);
  return rest.empty() || rest == "-journal" ? pid : -1;
}

// The plan of the stage: its kind, then its entries; nothing when the work was not decided.
std::optional<std::vector<std::string>> read_plan(const fs::path& stage) {
  std::ifstream in(stage / kPlan, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  if (parts.empty()) return std::nullopt;
  return parts;
}

// Writes the plan whole under another name first, so that a kill never leaves half a plan.
void write_plan(const fs::path& folder, const fs::path& stage, const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    text += part;
    text += '\0';
  }
  const fs::path draft = stage / kPlanDraft;
  const int fd = ::open(draft.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw TableError("Cannot write in the folder " + folder.string() + ": " + reason());
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const bool whole = written == text.size() && ::fsync(fd) == 0;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (!whole || ::rename(draft.c_str(), (stage / kPlan).c_str()) != 0)
    throw TableError("Cannot write in the folder " + folder.string() + ": " + reason());
  sync_folder(stage);
}

// A file as it was when the removal was decided: another file of the name made since is left alone.
std::string identity(const fs::path& file) {
  struct stat st {};
  if (::lstat(file.c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

void complete_put(const fs::path& folder, const fs::path& stage, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const fs::path staged = stage / name;
    std::error_code error;
    if (!fs::exists(staged, error)) continue;  // put in place before the kill
    fault_point("put");
    remove_journals(folder / name);
    if (::rename(staged.c_str(), (folder / name).c_str()) != 0)
      throw TableError("Cannot write " + (folder / name).string() + ": " + reason());
  }
  sync_folder(folder);
}

// entries: name and identity, in turn.
void complete_remove(const fs::path& folder, const std::vector<std::string>& entries) {
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    const fs::path file = folder / entries[i];
    if (identity(file) != entries[i + 1]) continue;  // gone before the kill
    fault_point("remove");
    if (::unlink(file.c_str()) != 0 && errno != ENOENT)
      throw TableError("Cannot delete " + file.string() + ": " + reason());
    remove_journals(file);
  }
  sync_folder(folder);
}

// Completes the decided work of a stage whose program is gone, then removes the stage.
void settle_stage(const fs::path& folder, const fs::path& stage, const std::string& name) {
  const int fd = ::open(stage.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  // Where the file system has no locks, the process named in the stage's name tells whether it lives.
  const bool owner_lives =
      !locked && (errno == EWOULDBLOCK ||
                  process_alive(number_before(std::string_view(name).substr(kStagePrefix.size()), "-")));
  if (!owner_lives) {
    try {
      if (const auto plan = read_plan(stage)) {
        const std::vector<std::string> entries(plan->begin() + 1, plan->end());
        if (plan->front() == kPut) complete_put(folder, stage, entries);
        if (plan->front() == kRemove) complete_remove(folder, entries);
      }
      std::error_code ignored;
      fs::remove_all(stage, ignored);
    } catch (const std::exception&) {
      // Left for the next settle.
    }
  }
  ::close(fd);
}

}  // namespace

void set_stage_fault_point(StageFaultPoint point) {
  g_fault_point = point;
}

void remove_journals(const fs::path& file) {
  std::error_code error;
  fs::remove(file.string() + "-journal", error);
  // Super-journals of commits over two files are named after the table file with "-mj" and a random suffix.
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const std::string prefix = file.filename().string() + "-mj";
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) fs::remove(entry.path(), error);
  }
}

StagedFiles::StagedFiles(const fs::path& folder) : folder_(folder.empty() ? fs::path(".") : folder) {
  for (int attempt = 0; attempt < 10 && lock_ < 0; ++attempt) {
    std::string name =
        (folder_ / (std::string(kStagePrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!::mkdtemp(name.data()))
      throw TableError("Cannot write in the folder " + folder_.string() + ": " + reason());
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    // A settle that came upon the stage before it was locked may have taken it away: then make another.
    struct stat held = {};
    struct stat named = {};
    if (::fstat(fd, &held) != 0 || ::stat(name.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
      ::close(fd);
      continue;
    }
    stage_ = name;
    lock_ = fd;
  }
  if (lock_ < 0) throw TableError("Cannot write in the folder " + folder_.string());
}

StagedFiles::~StagedFiles() {
  // Decided work that could not be completed is left for the next settle.
  if (!decided_ || done_) {
    std::error_code ignored;
    fs::remove_all(stage_, ignored);
  }
  if (lock_ >= 0) ::close(lock_);
}

void StagedFiles::commit(const std::vector<std::string>& names) {
  std::vector<std::string> plan{std::string(kPut)};
  for (const std::string& name : names) {
    std::error_code error;
    if (fs::exists(path(name), error)) plan.push_back(name);
  }
  fault_point("decided");
  write_plan(folder_, stage_, plan);
  decided_ = true;
  complete_put(folder_, stage_, {plan.begin() + 1, plan.end()});
  fault_point("done");
  done_ = true;
}

void StagedFiles::remove_files(const std::vector<std::string>& names) {
  std::vector<std::string> plan{std::string(kRemove)};
  for (const std::string& name : names) {
    const std::string id = identity(folder_ / name);
    if (id.empty()) continue;
    plan.push_back(name);
    plan.push_back(id);
  }
  fault_point("decided");
  write_plan(folder_, stage_, plan);
  decided_ = true;
  complete_remove(folder_, {plan.begin() + 1, plan.end()});
  fault_point("done");
  done_ = true;
}

void remove_together(const fs::path& folder, const std::vector<std::string>& names) {
  StagedFiles stage(folder);
  stage.remove_files(names);
}

void settle_folder(const fs::path& folder) {
  const fs::path where = folder.empty() ? fs::path(".") : folder;
  // readdir itself: a library may sit among thousands of track files, and only hidden names concern us.
  DIR* listing = ::opendir(where.c_str());
  if (!listing) return;
  std::vector<std::string> stages, scratch;
  while (const dirent* entry = ::readdir(listing)) {
    if (entry->d_name[0] != '.') continue;
    const std::string name = entry->d_name;
    if (name.rfind(kStagePrefix, 0) == 0) {
      stages.push_back(name);
    } else if (const long owner = scratch_owner(name);
               owner > 0 && owner != ::getpid() && !process_alive(owner)) {
      scratch.push_back(name);
    }
  }
  ::closedir(listing);
  for (const std::string& name : stages) {
    std::error_code error;
    if (fs::is_directory(where / name, error)) settle_stage(where, where / name, name);
  }
  for (const std::string& name : scratch) {
    std::error_code ignored;
    fs::remove(where / name, ignored);
  }
}

}  // namespace vemla
