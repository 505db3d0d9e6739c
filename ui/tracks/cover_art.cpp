#include "cover_art.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <exception>

#include "cover_picture.h"
#include "data.h"
#include "rows.h"

namespace vemla {

namespace {

// Pictures kept decoded, and copies kept in the cache folder.
constexpr size_t kKeptPictures = 24;
constexpr int kKeptCopies = 32;
// A decoded picture is never larger than this on a side: enough for any window, bounded in memory.
constexpr int kLargestSide = 1024;

QString default_cache_folder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/vemla/covers");
}

// Removes the oldest copies beyond the number kept.
void trim_copies(QDir& folder) {
  const QFileInfoList copies = folder.entryInfoList({QStringLiteral("cover-*")}, QDir::Files, QDir::Time);
  for (qsizetype i = kKeptCopies; i < copies.size(); ++i) QFile::remove(copies[i].absoluteFilePath());
}

}  // namespace

CoverArt::CoverArt(Tdb& db, QString cache_folder, QObject* parent)
    : QObject(parent),
      db_(db),
      cache_folder_(cache_folder.isEmpty() ? default_cache_folder() : std::move(cache_folder)),
      worker_([this] { work(); }) {}

CoverArt::~CoverArt() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    pending_.reset();
  }
  wake_.notify_all();
  worker_.join();
}

void CoverArt::show_current() {
  Table& tracks = db_.Table1;
  Request request;
  bool stored = false;
  try {
    if (tracks.is_open() && tracks.record_count() > 0) {
      const std::string file = get(tracks, TrackTable::pad);
      stored = !is_empty(tracks, TrackTable::data);
      request.key = QStringLiteral("%1|%2|%3|%4")
                        .arg(QString::fromStdString(tracks.file_path().string()))
                        .arg(tracks.record_number())
                        .arg(QString::fromStdString(file))
                        .arg(stored);
      if (!stored) request.file = file;
    }
  } catch (const std::exception&) {
    request = {};  // a row that cannot be read shows no picture
  }
  if (request.key == current_key_) return;
  current_key_ = request.key;
  if (request.key.isEmpty()) {
    set({}, {});
    return;
  }
  for (auto kept = kept_.begin(); kept != kept_.end(); ++kept) {
    if (kept->key == request.key) {
      kept_.splice(kept_.begin(), kept_, kept);
      set(kept_.front().image, kept_.front().art_url);
      return;
    }
  }
  // The picture of the track before does not stand for this one while it is read.
  set({}, {});
  if (stored) {
    try {
      request.tag = stored_tag(tracks);
    } catch (const std::exception&) {
      return;
    }
    if (request.tag.empty()) return;
  }
  {
    std::lock_guard lock(mutex_);
    pending_ = std::move(request);
  }
  wake_.notify_one();
}

void CoverArt::work() {
  for (;;) {
    Request request;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return ending_ || pending_; });
      if (ending_) return;
      request = std::move(*pending_);
      pending_.reset();
    }
    Found result = read(request);
    QMetaObject::invokeMethod(this, [this, result = std::move(result)] { found(result); }, Qt::QueuedConnection);
  }
}

CoverArt::Found CoverArt::read(const Request& request) const {
  Found result{request.key, {}, {}};
  CoverPicture picture;
  try {
    picture = request.tag.empty()
                  ? (request.file.empty() ? CoverPicture{} : cover_of_file(request.file))
                  : picture_in_tag({reinterpret_cast<const uint8_t*>(request.tag.data()), request.tag.size()});
  } catch (const std::exception&) {
    return result;
  }
  if (picture.empty()) return result;
  QImage image = QImage::fromData(QByteArray::fromStdString(picture.bytes));
  if (image.isNull()) return result;
  if (image.width() > kLargestSide || image.height() > kLargestSide)
    image = image.scaled(kLargestSide, kLargestSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  result.image = image;
  // The copy is named by its content: the same cover of a whole album is written once.
  const QByteArray bytes = QByteArray::fromStdString(picture.bytes);
  const QString name = QStringLiteral("cover-%1.%2")
                           .arg(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(20)),
                                picture.mime == "image/png" ? QStringLiteral("png") : QStringLiteral("jpg"));
  QDir folder(cache_folder_);
  if (folder.mkpath(QStringLiteral("."))) {
    const QString path = folder.absoluteFilePath(name);
    QFile copy(path);
    if (QFileInfo::exists(path) || (copy.open(QIODevice::WriteOnly) && copy.write(bytes) == bytes.size() && copy.flush())) {
      result.art_url = QUrl::fromLocalFile(path).toString();
      trim_copies(folder);
    }
  }
  return result;
}

void CoverArt::found(const Found& result) {
  kept_.push_front(result);
  if (kept_.size() > kKeptPictures) kept_.pop_back();
  if (result.key == current_key_) set(result.image, result.art_url);
}

void CoverArt::set(const QImage& image, const QString& art_url) {
  if (image.cacheKey() == image_.cacheKey() && art_url == art_url_) return;
  image_ = image;
  art_url_ = art_url;
  emit changed();
}

}  // namespace vemla
