#include "info_dialog.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm4::TForm4(Tdb& db, QWidget* parent) : QDialog(parent) {
  (void)db;
  setObjectName(QStringLiteral("TForm4"));
  setWindowTitle(QStringLiteral("MPEG Info"));
}

TForm4::~TForm4() = default;

}  // namespace vemla
