#include "options_dialog.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm2::TForm2(Tdb& db, QWidget* parent) : QDialog(parent) {
  (void)db;
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("Options"));
}

TForm2::~TForm2() = default;

int TForm2::mix_index() const { return 0; }

}  // namespace vemla
