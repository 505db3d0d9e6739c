// A session bus of the test's own: a dbus-daemon started for the test and ended with it, so that tests of the
// media controls and of one program per user neither need nor touch the user's session.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "child_process.h"
#include "support.h"

namespace vemla::test {

class PrivateBus {
 public:
  // Starts the daemon and waits for its address; address() is empty when dbus-daemon is missing or failed.
  PrivateBus();
  ~PrivateBus();

  const std::string& address() const { return address_; }
  // Makes this bus the session bus of the programs started from now on (DBUS_SESSION_BUS_ADDRESS).
  void make_session_bus() const;

 private:
  TempDir folder_;
  std::unique_ptr<ChildProcess> daemon_;
  std::string address_;
};

// Runs a shell command and returns what it printed on standard output, without the last line break;
// `status` gets its exit status.
std::string output_of(const std::string& command, int* status = nullptr);

}  // namespace vemla::test
