// The versions of the libraries the program runs on, as the About dialog lists them.
#pragma once

#include <QList>
#include <QString>

namespace vemla {

struct LibraryVersion {
  QString name;
  QString version;
};

// Qt, SQLite, TagLib and ALSA, each as its loaded library reports it (TagLib before 2.0 has no such call: the
// version built against).
QList<LibraryVersion> library_versions();

}  // namespace vemla
