#include "player_control.h"

// Placeholder until player control is built: the handlers do nothing yet.

namespace vemla {

PlayerControl::PlayerControl(TForm1& form, Player& player, Tdb& db, PlaylistControl& playlist, QObject* parent)
    : QObject(parent), player_(player) {
  (void)form, (void)db, (void)playlist;
}

PlayerControl::~PlayerControl() = default;

Player& PlayerControl::player() { return player_; }
PlayerState PlayerControl::player_state() const { return player_.player_state(); }
std::filesystem::path PlayerControl::temporary_file() const { return {}; }
void PlayerControl::delete_temporary_file() {}
int64_t PlayerControl::position_us() const { return 0; }
void PlayerControl::seek_to_us(int64_t) {}
void PlayerControl::PlayClick() {}
void PlayerControl::PauseClick() {}
void PlayerControl::StopClick() {}
void PlayerControl::PriorClick() {}
void PlayerControl::NextClick() {}
void PlayerControl::RzTrackBar1MouseDown() {}
void PlayerControl::RzTrackBar1MouseUp() {}
void PlayerControl::MyIdleHandler() {}

}  // namespace vemla
