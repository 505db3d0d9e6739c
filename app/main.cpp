// Vemla, the desktop program: the application object, the data module and the main window.
#include <QApplication>

#include "data.h"
#include "look.h"
#include "main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Organisation and application name key the per-user settings (the window's geometry).
  QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
  QCoreApplication::setApplicationName(QStringLiteral("Vemla Version 1.25"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Vemla"));
  QGuiApplication::setDesktopFileName(QStringLiteral("vemla"));
  QApplication::setWindowIcon(vemla::vemla_icon());

  // The data module first: the main window binds its controls to the module's data sources.
  vemla::Tdb data_module;
  vemla::TForm1 form1(data_module);
  form1.show();
  return QApplication::exec();
}
