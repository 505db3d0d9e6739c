// A panel drawn over a picture of the program's own: a soft gradient of the palette's window colour with a
// faint motif, so that its labels stay readable in light and dark palettes alike.
#pragma once

#include <QFrame>

class QSvgRenderer;

namespace vemla {

class PicturePanel : public QFrame {
  Q_OBJECT
 public:
  explicit PicturePanel(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QSvgRenderer* motif_;
};

}  // namespace vemla
