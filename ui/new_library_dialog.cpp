#include "new_library_dialog.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm5"));
  setWindowTitle(QStringLiteral("New"));
}

TForm5::~TForm5() = default;

}  // namespace vemla
