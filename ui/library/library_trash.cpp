#include "library_trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <utility>
#include <vector>

#include "user_dialogs.h"

namespace vemla {

namespace fs = std::filesystem;

namespace {

QString qt_path(const fs::path& path) {
  return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

// Back out of the trash: the file to its place, its entry in the trash's list gone.
void take_back(const QString& original, const QString& in_trash) {
  if (!QFile::rename(in_trash, original)) return;
  const QFileInfo trashed(in_trash);
  QFile::remove(
      trashed.dir().absoluteFilePath(QStringLiteral("../info/%1.trashinfo").arg(trashed.fileName())));
}

}  // namespace

TrashResult move_library_to_trash(const LibraryPath& library) {
  check_library_not_in_use(library);
  // The track table first: without it what is left is no library, in the open dialogs too.
  std::vector<fs::path> files;
  for (const fs::path& file : {library.tracks(), library.store(), library.categories()}) {
    for (const char* suffix : {"", "-journal", "-wal"}) {
      fs::path candidate = file;
      candidate += suffix;
      std::error_code error;
      if (fs::exists(fs::symlink_status(candidate, error))) files.push_back(std::move(candidate));
    }
  }
  TrashResult result;
  std::vector<std::pair<QString, QString>> moved;  // original, place in the trash
  for (const fs::path& file : files) {
    const QString original = qt_path(file);
    QString in_trash;
    if (!QFile::moveToTrash(original, &in_trash)) {
      for (auto it = moved.rbegin(); it != moved.rend(); ++it) take_back(it->first, it->second);
      result.reason = QStringLiteral("the trash cannot take %1").arg(shown_path(file));
      return result;
    }
    moved.emplace_back(original, in_trash);
    result.files << shown_path(file);
  }
  result.done = true;
  return result;
}

}  // namespace vemla
