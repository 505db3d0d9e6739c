#include "memo_window.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm9::TForm9(Tdb& db, QWidget* parent) : QDialog(parent) {
  (void)db;
  setObjectName(QStringLiteral("TForm9"));
  setWindowTitle(QStringLiteral("Memo"));
}

TForm9::~TForm9() = default;

}  // namespace vemla
