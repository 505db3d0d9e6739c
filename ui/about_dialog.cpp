#include "about_dialog.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm11::TForm11(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm11"));
  setWindowTitle(QStringLiteral("About"));
}

TForm11::~TForm11() = default;

}  // namespace vemla
