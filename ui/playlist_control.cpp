#include "playlist_control.h"

#include "data.h"

// Placeholder until the playlist handlers are built: they do nothing yet.

namespace vemla {

PlaylistControl::PlaylistControl(TForm1& form, Tdb& db, QObject* parent)
    : QObject(parent), playlist_(db.Table1) {
  (void)form;
}

PlaylistControl::~PlaylistControl() = default;

void PlaylistControl::set_player_control(PlayerControl& player) { player_ = &player; }
Playlist& PlaylistControl::playlist() { return playlist_; }
bool PlaylistControl::go_to_track(int32_t record) { return playlist_.go_to_track(record); }
void PlaylistControl::ResetClick() {}
void PlaylistControl::ShuffleClick() {}
void PlaylistControl::ArrangeClick() {}
void PlaylistControl::RzCheckList1Changing(int, bool) {}
void PlaylistControl::refresh_category_captions() {}
void PlaylistControl::refresh_playlist_label() {}
void PlaylistControl::refresh_category_checks() {}

}  // namespace vemla
