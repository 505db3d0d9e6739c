// Vemla, the desktop program.
#include <QMessageBox>
#include <exception>
#include <memory>

#include "application.h"
#include "device_factory.h"
#include "look.h"
#include "program.h"
#include "shell.h"

int main(int argc, char** argv) {
  vemla::Application application(argc, argv);
  // Organisation and application name key the per-user settings (the window's geometry).
  QCoreApplication::setOrganizationName(QString::fromLatin1(vemla::kSettingsOrganisation));
  QCoreApplication::setApplicationName(QString::fromLatin1(vemla::kSettingsApplication));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Vemla"));
  QGuiApplication::setDesktopFileName(QStringLiteral("vemla"));
  QApplication::setWindowIcon(vemla::vemla_icon());

  // An error while the windows are made ends the program after saying why.
  std::unique_ptr<vemla::Program> program;
  try {
    program = std::make_unique<vemla::Program>(vemla::sound_device_from_environment());
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, QStringLiteral("Vemla"), QString::fromUtf8(error.what()));
    return 1;
  }
  program->form1.show();
  const int status = QApplication::exec();
  // The player joins its decode thread before the application object goes.
  program.reset();
  return status;
}
