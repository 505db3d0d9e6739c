#include "program.h"

#include "chosen_device.h"
#include "cover_view.h"
#include "sound_device.h"
#include "store.h"

namespace vemla {

Program::Program(std::unique_ptr<SoundDevice> device)
    : player(player_settings, title, messages, std::make_unique<ChosenDevice>(std::move(device))) {
  sound_page = std::make_unique<SoundDevicePage>(static_cast<ChosenDevice&>(player.device()), form2,
                                                 *form1.RzStatusBar1);
  // A library another program holds (vemla-library at work) is waited for only briefly: the window's thread
  // waits with it, frozen. The command-line tool keeps the longer wait.
  set_lock_wait(kWindowLockWait);
  // Messages raised on this thread outside a run (a header the decoder refuses) go to the same boxes.
  set_notifier(&messages);
  // The next track is to follow with or without a break, as the option now says.
  QObject::connect(&form2, &TForm2::gapless_changed, &transport, &Transport::following_may_change);
  QObject::connect(&form2, &TForm2::gains_changed, &transport, &Transport::following_may_change);
  // The current track's picture in the left panel, where a larger window has room for it.
  QObject::connect(&track_list, &TrackListControl::synced, &cover, &CoverArt::show_current);
  QObject::connect(&cover, &CoverArt::changed, &form1, [this] {
    form1.CoverArt->set_picture(cover.image());
    room.set_cover_available(!cover.image().isNull());
  });
}

Program::~Program() {
  set_notifier(nullptr);
}

}  // namespace vemla
