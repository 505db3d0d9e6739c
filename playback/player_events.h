// What the decode thread raises for the player's owner: messages for the user and the return of a run. They
// wait here until the owner's thread takes them, so that the decode thread never calls into a window.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "notifier.h"

namespace vemla {

struct PlayerEvent {
  enum class Kind { Message, RunReturned };
  Kind kind = Kind::Message;
  // A message.
  std::string caption, text;
  MessageIcon icon = MessageIcon::None;
  // The return of run number `run`; `done` when it played its stream to the end.
  uint64_t run = 0;
  bool done = false;
};

// Any thread may queue; one thread takes.
class PlayerEvents final : public Notifier {
 public:
  // `waiting` is called on the queuing thread, outside the queue's lock, after every event queued.
  explicit PlayerEvents(std::function<void()> waiting) : waiting_(std::move(waiting)) {}

  void notify(std::string_view caption, std::string_view text, MessageIcon icon) override;
  void run_returned(uint64_t run, bool done);
  // Everything queued, oldest first; the queue is empty afterwards.
  std::vector<PlayerEvent> take();

 private:
  void push(PlayerEvent event);

  std::function<void()> waiting_;
  std::mutex mutex_;
  std::deque<PlayerEvent> queue_;
};

}  // namespace vemla
