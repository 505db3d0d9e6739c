// What makes Vemla a program of the Linux desktop beside its windows: the keyboard, the media controls on the
// session bus, one program per user, and the library opened at start. main() makes one for its Program; tests
// make their own on a private bus.
#pragma once

#include <QDBusConnection>
#include <QString>

#include "keyboard_shortcuts.h"
#include "last_library.h"
#include "media_controls.h"
#include "mpris_service.h"
#include "single_instance.h"

namespace vemla {

class Program;

class Desktop {
 public:
  // `bus` may be disconnected: then the program runs on its own. The program must outlive the object.
  Desktop(Program& program, QDBusConnection bus, std::function<void()> quit_application = {});
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // Puts the media controls and the handover on the bus, then claims its name, or hands `library` to the Vemla
  // that holds it. `problem` says why a start with a bus runs alone.
  ClaimResult start(const QString& library, QString& problem);

  // Once the window shows: opens `library`, or when none is named the library to reopen.
  void open_at_start(const QString& library);
  // What a later start asks: the window raised and `library` opened (when one is named).
  void activate(const QString& library);

  Program& program;
  MediaControls controls;
  MprisService mpris;
  InstanceService instance;
  KeyboardShortcuts keys;
  LastLibrary last_library;

 private:
  void open_when_free(const QString& library);
  // Whether `library` names the library open now.
  bool is_open_library(const QString& library) const;

  QDBusConnection bus_;
};

}  // namespace vemla
