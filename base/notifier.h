// Messages the user must see, reported by layers that know nothing of windows.
#pragma once

#include <string>
#include <string_view>

namespace vemla {

enum class MessageIcon { None, Error, Warning, Information };

// The desktop program shows a message box; the command-line tools print one line on standard error.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void notify(std::string_view caption, std::string_view text, MessageIcon icon) = 0;
};

// The calling thread's notifier, else the installed one, else the standard-error one.
Notifier& notifier();
// Installs n for the whole process; nullptr restores the standard-error notifier. n must outlive its use.
void set_notifier(Notifier* n);
// Installs n for the calling thread only, ahead of the process-wide one; nullptr removes it. A thread that
// must not show windows (the decode thread) queues its messages for another thread this way.
void set_thread_notifier(Notifier* n);

// Keeps the first message told to it, for a caller that says it in its own words (a skipped file's reason, a
// tool's one line); install it with ThreadNotifierScope.
class FirstMessage final : public Notifier {
 public:
  void notify(std::string_view caption, std::string_view text, MessageIcon icon) override;
  bool empty() const { return text.empty(); }
  std::string caption;
  std::string text;
};

// The calling thread's notifier while it lives; the previous one afterwards.
class ThreadNotifierScope {
 public:
  explicit ThreadNotifierScope(Notifier& n);
  ~ThreadNotifierScope();
  ThreadNotifierScope(const ThreadNotifierScope&) = delete;
  ThreadNotifierScope& operator=(const ThreadNotifierScope&) = delete;

 private:
  Notifier* previous_;
};

}  // namespace vemla
