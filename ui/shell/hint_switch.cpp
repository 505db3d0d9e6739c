#include "hint_switch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QStatusTipEvent>
#include <QToolTip>

namespace vemla {

HintSwitch::HintSwitch(QObject* parent) : QObject(parent) {
  QCoreApplication::instance()->installEventFilter(this);
}

HintSwitch::~HintSwitch() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

void HintSwitch::set_on(bool on) {
  on_ = on;
  if (!on_) QToolTip::hideText();
}

bool HintSwitch::eventFilter(QObject* watched, QEvent* event) {
  if (!on_) {
    if (event->type() == QEvent::ToolTip) return true;
    // An empty status tip clears the status bar; that one may pass.
    if (event->type() == QEvent::StatusTip && !static_cast<QStatusTipEvent*>(event)->tip().isEmpty()) return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vemla
