#include "please_window.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm7::TForm7(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm7"));
  setWindowTitle(QStringLiteral("Please be PATIENT...."));
}

TForm7::~TForm7() = default;

}  // namespace vemla
