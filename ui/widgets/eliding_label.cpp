#include "eliding_label.h"

#include <QPainter>

namespace vemla {

ElidingLabel::ElidingLabel(QWidget* parent) : QFrame(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ElidingLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  setAccessibleDescription(text_);
  update();
}

QString ElidingLabel::shownText() const {
  return fontMetrics().elidedText(text_, Qt::ElideRight, contentsRect().width() - 4);
}

QSize ElidingLabel::sizeHint() const {
  const QMargins margins = contentsMargins();
  return {fontMetrics().horizontalAdvance(QStringLiteral("00 00 00 00 00 ")) + margins.left() + margins.right() + 4,
          fontMetrics().height() + margins.top() + margins.bottom() + 4};
}

QSize ElidingLabel::minimumSizeHint() const {
  return sizeHint();
}

void ElidingLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(contentsRect().adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, shownText());
}

}  // namespace vemla
