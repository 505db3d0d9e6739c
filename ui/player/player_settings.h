// What the player reads when it opens a run: the thread priority from the settings table, the output mix and
// gapless playback from the options dialog. The playing options of the settings record are read and written
// through rows.h.
#pragma once

#include "player.h"

namespace vemla {

class Table;
class TForm2;

class WindowPlayerSettings final : public PlayerSettings {
 public:
  // Both must outlive the object.
  WindowPlayerSettings(Table& settings, const TForm2& options) : settings_(settings), options_(options) {}
  // PRIORITY of the settings table; 3 (Normal) while it is closed or has no row.
  int priority() override;
  int mix_index() override;
  // The Options' "Gapless playback", as kept.
  bool gapless() override;
  // The Options' ReplayGain choices, as kept.
  GainSettings gains() override;

 private:
  Table& settings_;
  const TForm2& options_;
};

}  // namespace vemla
