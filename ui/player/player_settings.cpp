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

bool WindowPlayerSettings::gapless() {
  return TForm2::gapless_playback();
}

bool setting(Table& settings, const char* column) {
  return settings.is_open() && settings.record_count() > 0 && settings.field_by_name(column).as_boolean();
}

bool refreshed_setting(Table& settings, const char* column) {
  if (!settings.is_open()) return false;
  settings.refresh();
  return setting(settings, column);
}

void write_setting(Table& settings, const char* column, bool value) {
  if (!settings.is_open()) return;
  settings.edit();  // on a table without a row this begins the settings row
  settings.field_by_name(column).set_boolean(value);
  settings.refresh();
}

}  // namespace vemla
