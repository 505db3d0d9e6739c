// Vemla, the desktop program.
#include <QApplication>

#include "device_factory.h"
#include "look.h"
#include "program.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Organisation and application name key the per-user settings (the window's geometry).
  QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
  QCoreApplication::setApplicationName(QStringLiteral("Vemla Version 1.25"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Vemla"));
  QGuiApplication::setDesktopFileName(QStringLiteral("vemla"));
  QApplication::setWindowIcon(vemla::vemla_icon());

  // Destroyed before the application object: the player joins its decode thread first.
  vemla::Program program(vemla::sound_device_from_environment());
  program.form1.show();
  return QApplication::exec();
}
