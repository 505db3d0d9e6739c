#include "add_dialog.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm8::TForm8(Tdb& db, QWidget* parent) : QDialog(parent) {
  (void)db;
  setObjectName(QStringLiteral("TForm8"));
  setWindowTitle(QStringLiteral("Add to Base"));
}

TForm8::~TForm8() = default;

}  // namespace vemla
