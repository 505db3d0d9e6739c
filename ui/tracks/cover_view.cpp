#include "cover_view.h"

#include <QPainter>

namespace vemla {

CoverView::CoverView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CoverArt"));
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  setAccessibleName(QStringLiteral("Cover picture"));
}

void CoverView::set_picture(const QImage& picture) {
  picture_ = picture;
  update();
}

QSize CoverView::sizeHint() const {
  return {160, 160};
}

void CoverView::paintEvent(QPaintEvent*) {
  if (picture_.isNull() || width() < 8 || height() < 8) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QSize size = picture_.size().scaled(this->size(), Qt::KeepAspectRatio);
  const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
  painter.drawImage(target, picture_);
}

}  // namespace vemla
