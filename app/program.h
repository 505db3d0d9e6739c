// The whole desktop program as one object: the data module, the windows in their order, the player and the
// controllers that carry the main window's handlers. main() makes one; tests and benchmarks make their own.
#pragma once

#include <chrono>
#include <memory>

#include "about_dialog.h"
#include "cover_art.h"
#include "add_dialog.h"
#include "category_dialog.h"
#include "data.h"
#include "info_dialog.h"
#include "library_commands.h"
#include "library_work.h"
#include "loudness_commands.h"
#include "main_window.h"
#include "memo_window.h"
#include "move_dialog.h"
#include "new_library_dialog.h"
#include "options_dialog.h"
#include "player.h"
#include "player_control.h"
#include "player_settings.h"
#include "playlist_control.h"
#include "please_window.h"
#include "selection_commands.h"
#include "shell.h"
#include "sound_device_page.h"
#include "track_commands.h"
#include "track_list_control.h"
#include "transport.h"
#include "volume_control.h"
#include "window_notifier.h"
#include "window_room.h"

namespace vemla {

class SoundDevice;

// How long the window waits for a library that another program has open before it says so.
inline constexpr std::chrono::milliseconds kWindowLockWait{250};

class Program {
 public:
  // Builds everything without showing a window. `device` is the player's sound device, unless the Options
  // choose another. Needs the application object, which must outlive the program.
  explicit Program(std::unique_ptr<SoundDevice> device);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Members in the order they are made (and destroyed in reverse: the player before the windows it reports
  // into).
  Tdb data_module;
  TForm1 form1{data_module};
  MessageBoxNotifier messages{&form1};
  TForm2 form2{data_module, &form1};
  TForm3 form3{data_module, &form1};
  TForm4 form4{data_module, &form1};
  TForm5 form5{&form1};
  TForm6 form6{&form1};
  TForm7 form7{&form1};
  TForm8 form8{data_module, &form1};
  TForm11 form11{&form1};
  TForm9 form9{data_module, &form1};

  WindowPlayerSettings player_settings{data_module.Table2, form2};
  LabelTitle title{*form1.Label1};
  Player player;

  Transport transport{player, data_module, &form1};
  PlaylistControl playlist{form1, data_module, transport};
  PlayerControl player_control{form1, transport, data_module};
  VolumeControl volume{form1, player};
  LibraryWork work{form1};
  LibraryCommands library{form1, data_module, player_control, playlist, form5, form6, form7, work};
  TrackCommands tracks{form1, data_module, player_control, playlist, form8, form4, work};
  LoudnessCommands loudness{form1, data_module, work};
  Shell shell{form1, data_module, player_control, playlist, library, tracks, form2, form3, form11, form9};
  WindowRoom room{form1};
  TrackListControl track_list{form1, data_module, player_control, playlist};
  CoverArt cover{data_module};
  SelectionCommands selection{form1, data_module, player_control, playlist, work, track_list};
  std::unique_ptr<SoundDevicePage> sound_page;  // the Options' "Sound" page, over the player's device
};

}  // namespace vemla
