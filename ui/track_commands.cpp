#include "track_commands.h"

// Placeholder until the track commands are built: they do nothing yet.

namespace vemla {

TrackCommands::TrackCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, TForm8& add,
                             TForm4& info, QObject* parent)
    : QObject(parent) {
  (void)form, (void)db, (void)player, (void)playlist, (void)add, (void)info;
}

TrackCommands::~TrackCommands() = default;

void TrackCommands::import_paths(const QStringList&) {}
void TrackCommands::update_export_item() {}
void TrackCommands::Import1Click() {}
void TrackCommands::Export1Click() {}
void TrackCommands::fix1Click() {}
void TrackCommands::Delete2Click() {}
void TrackCommands::Info1Click() {}

}  // namespace vemla
