// The current track's cover picture in the main window's left panel, scaled to the room it has and kept in
// proportion. It takes only room nobody else needs; empty, it draws nothing.
#pragma once

#include <QImage>
#include <QWidget>

namespace vemla {

class CoverView : public QWidget {
  Q_OBJECT
 public:
  explicit CoverView(QWidget* parent = nullptr);

  void set_picture(const QImage& picture);
  const QImage& picture() const { return picture_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

}  // namespace vemla
