#include "library_commands.h"

// Placeholder until the library commands are built: they do nothing yet.

namespace vemla {

LibraryCommands::LibraryCommands(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist,
                                 TForm5& new_dialog, TForm6& move_dialog, TForm7& please, QObject* parent)
    : QObject(parent) {
  (void)form, (void)db, (void)player, (void)playlist, (void)new_dialog, (void)move_dialog, (void)please;
}

LibraryCommands::~LibraryCommands() = default;

bool LibraryCommands::open_library_file(const QString&) { return false; }
QString LibraryCommands::open_library_path() const { return {}; }
void LibraryCommands::New1Click() {}
void LibraryCommands::Open1Click() {}
void LibraryCommands::Move1Click() {}
void LibraryCommands::Copy1Click() {}
void LibraryCommands::Delete1Click() {}
void LibraryCommands::set_library_controls(bool) {}

}  // namespace vemla
