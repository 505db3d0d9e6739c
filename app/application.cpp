#include "application.h"

#include <exception>

#include "error_box.h"

namespace vemla {

bool deliver_reporting_errors(const std::function<bool()>& deliver) {
  try {
    return deliver();
  } catch (const std::exception& error) {
    show_error(nullptr, QString::fromUtf8(error.what()));
  } catch (...) {
    show_error(nullptr, QStringLiteral("An unexpected error ended the action."));
  }
  return false;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  return deliver_reporting_errors([&] { return QApplication::notify(receiver, event); });
}

}  // namespace vemla
