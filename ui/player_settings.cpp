#include "player_settings.h"

#include "options_dialog.h"
#include "table.h"

namespace vemla {

int WindowPlayerSettings::priority() {
  try {
    if (settings_.is_open() && settings_.record_count() > 0) return settings_.field_by_name("PRIORITY").as_integer();
  } catch (const TableError&) {
    // An unreadable setting leaves the thread at normal priority.
  }
  return 3;
}

int WindowPlayerSettings::mix_index() {
  return options_.mix_index();
}

}  // namespace vemla
