#include "private_bus.h"

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace vemla::test {

PrivateBus::PrivateBus() {
  if (!have_program("dbus-daemon")) return;
  const std::filesystem::path printed = folder_ / "address";
  daemon_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"/usr/bin/env", "dbus-daemon", "--session", "--nofork", "--print-address=1"},
      printed, folder_ / "errors");
  // The daemon prints its address once it listens; a generous deadline for a busy machine.
  for (int i = 0; i < 400 && address_.empty() && !daemon_->ended(); ++i) {
    std::ifstream in(printed);
    std::string line;
    if (std::getline(in, line) && in) address_ = line;
    if (address_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

PrivateBus::~PrivateBus() = default;

void PrivateBus::make_session_bus() const {
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

std::string output_of(const std::string& command, int* status) {
  std::string text;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return text;
  }
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int raw = ::pclose(pipe);
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace vemla::test
