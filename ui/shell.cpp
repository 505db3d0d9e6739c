#include "shell.h"

// Placeholder until the shell is built: it does nothing yet.

namespace vemla {

Shell::Shell(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, LibraryCommands& library,
             TrackCommands& tracks, TForm2& options, TForm3& categories, TForm11& about, TForm9& memo,
             QObject* parent)
    : QObject(parent) {
  (void)form, (void)db, (void)player, (void)playlist, (void)library, (void)tracks, (void)options,
      (void)categories, (void)about, (void)memo;
}

Shell::~Shell() = default;

void Shell::FormActivate() {}
void Shell::FormClose() {}
void Shell::ShowHint1Click() {}
void Shell::General1Click() {}
void Shell::QuickStart1Click() {}
void Shell::Vemla1Click() {}
void Shell::VisitKorvane1Click() {}
void Shell::SendemailtoKorvane1Click() {}
void Shell::Options1Click() {}
void Shell::Memo1Click() {}
void Shell::Category1Click() {}

}  // namespace vemla
