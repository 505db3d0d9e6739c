#include "player_settings.h"

#include "options_dialog.h"
#include "replaygain_options.h"
#include "rows.h"

namespace vemla {

int WindowPlayerSettings::priority() {
  try {
    if (settings_.is_open() && settings_.record_count() > 0) return get(settings_, SettingsTable::priority);
  } catch (const TableError&) {
    // An unreadable setting leaves the thread at normal priority.
  }
  return 3;
}

int WindowPlayerSettings::mix_index() {
  return options_.mix_index();
}

bool WindowPlayerSettings::gapless() {
  return TForm2::gapless_playback();
}

GainSettings WindowPlayerSettings::gains() {
  return ReplayGainOptions::kept();
}

}  // namespace vemla
