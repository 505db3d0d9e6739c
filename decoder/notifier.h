// Messages the user must see, reported by layers that know nothing of windows.
#pragma once

#include <string_view>

namespace vemla {

enum class MessageIcon { None, Error, Warning, Information };

// The desktop program shows a message box; the command-line tools print one line on standard error.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void notify(std::string_view caption, std::string_view text, MessageIcon icon) = 0;
};

// The installed notifier, or the standard-error one when none is installed.
Notifier& notifier();
// Installs n for the whole process; nullptr restores the standard-error notifier. n must outlive its use.
void set_notifier(Notifier* n);

}  // namespace vemla
