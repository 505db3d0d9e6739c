// The current track's cover picture: read and decoded on a thread of its own (a tag can be megabytes), kept
// for the last tracks shown, and copied into the user's cache folder for the desktop's media controls, which
// are given its address. Its calls and signals are on the window's thread; the reading thread touches no table.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vemla {

class Tdb;

class CoverArt : public QObject {
  Q_OBJECT
 public:
  // `cache_folder`: where the pictures for the media controls go (the user's cache folder when empty).
  explicit CoverArt(Tdb& db, QString cache_folder = {}, QObject* parent = nullptr);
  // Waits for a picture being read.
  ~CoverArt() override;

  // Looks up the picture of the track table's current row (none without one).
  void show_current();
  // The current track's picture (null while none is known), and the address of its copy ("" without).
  const QImage& image() const { return image_; }
  const QString& art_url() const { return art_url_; }

 signals:
  // The picture or its address changed.
  void changed();

 private:
  struct Request {
    QString key;
    std::string tag;                  // a stored track's tag, read on the window's thread
    std::filesystem::path file;       // else the file kept on disk
  };
  struct Found {
    QString key;
    QImage image;
    QString art_url;
  };

  void work();
  Found read(const Request& request) const;
  void found(const Found& result);
  void set(const QImage& image, const QString& art_url);

  Tdb& db_;
  QString cache_folder_;
  QString current_key_;
  QImage image_;
  QString art_url_;
  std::list<Found> kept_;  // the last pictures found, newest first

  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<Request> pending_;
  bool ending_ = false;
  std::thread worker_;
};

}  // namespace vemla
