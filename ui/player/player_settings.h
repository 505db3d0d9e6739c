// What the player reads when it opens a run: the thread priority from the settings table, the output mix and
// gapless playback from the options dialog; and the playing options of the settings record as player control
// reads and writes them.
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

 private:
  Table& settings_;
  const TForm2& options_;
};

// A flag of the settings record (AUTOPLAY, CONTINUE, STORAGE) after re-reading the table, which posts a tick
// the user has just made; false while the table is closed. Errors of the table store are thrown.
bool refreshed_setting(Table& settings, const char* column);
// The flag as the record holds it now, without re-reading; false while the table is closed.
bool setting(Table& settings, const char* column);
// Writes the flag into the settings record and refreshes the table; nothing while it is closed.
void write_setting(Table& settings, const char* column, bool value);

}  // namespace vemla
