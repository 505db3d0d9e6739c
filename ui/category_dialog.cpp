#include "category_dialog.h"

// Placeholder until the window is built: its caption only.

namespace vemla {

TForm3::TForm3(Tdb& db, QWidget* parent) : QDialog(parent) {
  (void)db;
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("Categories"));
}

TForm3::~TForm3() = default;

}  // namespace vemla
