// What `vemla` is asked to do by its arguments: show its help or its version, or start, with a library to open
// when one is named.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace vemla {

struct CommandLine {
  bool help = false;
  bool version = false;
  // The library named, as an absolute path (relative names are taken from `base`); empty when none is.
  QString library;
  // Why the arguments cannot be followed; empty when they can.
  QString error;
};

// Reads the arguments, the program's name first. A library may be named by path or by a "file:" URL. Options
// of the windowing toolkit must have been taken out already (the application object does that), except when
// only --help and --version are looked for.
CommandLine parse_command_line(const QStringList& arguments, const QDir& base = QDir::current());

// "vemla 1.25".
QString version_text();
// What --help prints.
QString usage_text();

}  // namespace vemla
