#include "picture_panel.h"

#include <QLinearGradient>
#include <QPainter>
#include <QSvgRenderer>

#include "look.h"

namespace vemla {

PicturePanel::PicturePanel(QWidget* parent) : QFrame(parent) {
  load_resources();
  motif_ = new QSvgRenderer(QStringLiteral(":/vemla/panel.svg"), this);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Raised);
}

void PicturePanel::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    const QColor base = palette().color(QPalette::Window);
    const bool dark = base.lightness() < 128;
    QLinearGradient gradient(rect().topLeft(), rect().bottomLeft());
    gradient.setColorAt(0, dark ? base.lighter(125) : base.lighter(106));
    gradient.setColorAt(1, dark ? base.darker(115) : base.darker(108));
    painter.fillRect(rect(), gradient);
    // The motif only hints at itself: text over it keeps the contrast of the plain window colour.
    painter.setOpacity(dark ? 0.22 : 0.16);
    motif_->render(&painter, QRectF(rect()));
  }
  QFrame::paintEvent(event);
}

}  // namespace vemla
