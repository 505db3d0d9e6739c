#include "notifier.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace vemla {
namespace {

class StderrNotifier final : public Notifier {
 public:
  void notify(std::string_view caption, std::string_view text, MessageIcon) override {
    std::string line;
    line.reserve(caption.size() + text.size() + 3);
    line.append(caption).append(": ").append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
};

StderrNotifier stderr_notifier;
std::atomic<Notifier*> installed{nullptr};
thread_local Notifier* this_thread = nullptr;

}  // namespace

Notifier& notifier() {
  if (this_thread) return *this_thread;
  Notifier* n = installed.load(std::memory_order_acquire);
  return n ? *n : stderr_notifier;
}

void set_notifier(Notifier* n) { installed.store(n, std::memory_order_release); }

void set_thread_notifier(Notifier* n) { this_thread = n; }

void FirstMessage::notify(std::string_view caption_said, std::string_view text_said, MessageIcon) {
  if (!text.empty()) return;
  caption = caption_said;
  text = text_said;
}

ThreadNotifierScope::ThreadNotifierScope(Notifier& n) : previous_(this_thread) { this_thread = &n; }

ThreadNotifierScope::~ThreadNotifierScope() { this_thread = previous_; }

}  // namespace vemla
