#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "eventually.h"

extern char** environ;

namespace vemla::test {
namespace {

int status_of(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : ChildProcess::kKilledBy + WTERMSIG(raw); }

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const std::filesystem::path& output,
                           const std::filesystem::path& errors, int input) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0)
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // Whatever the test runner ignores or blocks, the child starts with every signal at its default.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid_ = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

void ChildProcess::signal(int number) const {
  if (pid_ > 0) ::kill(pid_, number);
}

bool ChildProcess::ended() {
  if (pid_ <= 0) return true;
  int raw = 0;
  if (::waitpid(pid_, &raw, WNOHANG) != pid_) return false;
  status_ = status_of(raw);
  pid_ = -1;
  return true;
}

bool ChildProcess::holds_open(const std::filesystem::path& file) const {
  std::error_code ec;
  const std::filesystem::path wanted = std::filesystem::canonical(file, ec);
  if (pid_ <= 0 || ec) return false;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ec)) {
    std::error_code link_error;
    if (std::filesystem::read_symlink(entry.path(), link_error) == wanted) return true;
  }
  return false;
}

int ChildProcess::wait() {
  if (!eventually([this] { return ended(); })) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
  }
  return status_;
}

}  // namespace vemla::test
