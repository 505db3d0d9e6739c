#include "player_events.h"

namespace vemla {

void PlayerEvents::notify(std::string_view caption, std::string_view text, MessageIcon icon) {
  PlayerEvent event;
  event.caption = caption;
  event.text = text;
  event.icon = icon;
  push(std::move(event));
}

void PlayerEvents::run_returned(uint64_t run, bool done) {
  PlayerEvent event;
  event.kind = PlayerEvent::Kind::RunReturned;
  event.run = run;
  event.done = done;
  push(std::move(event));
}

std::vector<PlayerEvent> PlayerEvents::take() {
  std::lock_guard lock(mutex_);
  std::vector<PlayerEvent> events(std::make_move_iterator(queue_.begin()),
                                  std::make_move_iterator(queue_.end()));
  queue_.clear();
  return events;
}

void PlayerEvents::push(PlayerEvent event) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(event));
  }
  if (waiting_) waiting_();
}

}  // namespace vemla
