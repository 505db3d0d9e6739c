#include "move_dialog.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm6::TForm6(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm6"));
  setWindowTitle(QStringLiteral("Copy/Move"));
}

TForm6::~TForm6() = default;

}  // namespace vemla
