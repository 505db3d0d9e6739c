#include "library_versions.h"

#include <SQLiteCpp/Database.h>
#include <alsa/asoundlib.h>
#include <taglib/taglib.h>

#include <QtGlobal>

namespace vemla {

namespace {

QString taglib_version() {
#if TAGLIB_MAJOR_VERSION >= 2
  return QString::fromStdString(TagLib::runtimeVersion().toString());
#else
  return QStringLiteral("%1.%2.%3").arg(TAGLIB_MAJOR_VERSION).arg(TAGLIB_MINOR_VERSION).arg(TAGLIB_PATCH_VERSION);
#endif
}

}  // namespace

QList<LibraryVersion> library_versions() {
  return {{QStringLiteral("Qt"), QString::fromLatin1(qVersion())},
          {QStringLiteral("SQLite"), QString::fromLatin1(SQLite::getLibVersion())},
          {QStringLiteral("TagLib"), taglib_version()},
          {QStringLiteral("ALSA"), QString::fromLatin1(snd_asoundlib_version())}};
}

}  // namespace vemla
