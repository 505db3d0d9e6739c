// What the library and track commands do before they touch the tables or open a file of their own: Stop,
// as the transport button does it, and no run left open behind it.
#pragma once

#include "player_control.h"

namespace vemla {

inline void stop_playing(PlayerControl& control) {
  control.StopClick();
  if (control.player().run_open()) control.player().close_run();
}

}  // namespace vemla
