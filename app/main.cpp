// Vemla, the desktop program.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <memory>

#include "application.h"
#include "command_line.h"
#include "desktop.h"
#include "device_factory.h"
#include "look.h"
#include "program.h"
#include "shell.h"
#include "user_dialogs.h"

namespace {

constexpr int kUsageError = 2;

void print(std::FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
}

QStringList raw_arguments(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version answer without a display, before the application object wants one.
  const vemla::CommandLine asked = vemla::parse_command_line(raw_arguments(argc, argv));
  if (asked.help) {
    print(stdout, vemla::usage_text());
    return 0;
  }
  if (asked.version) {
    print(stdout, vemla::version_text() + QLatin1Char('\n'));
    return 0;
  }

  vemla::Application application(argc, argv);
  // Organisation and application name key the per-user settings (the window's geometry).
  QCoreApplication::setOrganizationName(QString::fromLatin1(vemla::kSettingsOrganisation));
  QCoreApplication::setApplicationName(QString::fromLatin1(vemla::kSettingsApplication));
  QCoreApplication::setApplicationVersion(QStringLiteral(VEMLA_VERSION));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Vemla"));
  QGuiApplication::setDesktopFileName(QStringLiteral("vemla"));
  QApplication::setWindowIcon(vemla::vemla_icon());

  // The toolkit's own options are gone from the arguments now.
  const vemla::CommandLine command = vemla::parse_command_line(QCoreApplication::arguments());
  if (!command.error.isEmpty()) {
    print(stderr, QStringLiteral("vemla: %1\nTry 'vemla --help'.\n").arg(command.error));
    return kUsageError;
  }

  // A later start hands its library to the running Vemla before making windows of its own.
  QDBusConnection bus = QDBusConnection::sessionBus();
  QString problem;
  if (bus.isConnected() && bus.interface() &&
      bus.interface()->isServiceRegistered(QString::fromLatin1(vemla::kBusName)) &&
      vemla::hand_over(bus, command.library, problem))
    return 0;

  // An error while the windows are made ends the program after saying why.
  std::unique_ptr<vemla::Program> program;
  std::string device_problem;
  try {
    program = std::make_unique<vemla::Program>(vemla::sound_device_from_environment(device_problem));
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, QStringLiteral("Vemla"), QString::fromUtf8(error.what()));
    return 1;
  }
  auto desktop = std::make_unique<vemla::Desktop>(*program, bus);
  switch (desktop->start(command.library, problem)) {
    case vemla::ClaimResult::HandedOver:
      return 0;
    case vemla::ClaimResult::Alone:
      if (!problem.isEmpty())
        print(stderr, QStringLiteral("vemla: runs without media controls: %1\n").arg(problem));
      break;
    case vemla::ClaimResult::Owned:
      break;
  }
  program->form1.show();
  // Told in the window, over it: printed before it showed, no desktop user would see it.
  if (!device_problem.empty())
    vemla::tell_user(QString::fromStdString(device_problem), vemla::MessageIcon::Warning);
  desktop->open_at_start(command.library);
  const int status = QApplication::exec();
  // The player joins its decode thread before the application object goes.
  desktop.reset();
  program.reset();
  return status;
}
