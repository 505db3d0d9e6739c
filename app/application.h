// The application object. An exception that escapes an event handler is shown in the program's standard error
// box and the event loop goes on, as the user's action that raised it has ended.
#pragma once

#include <QApplication>
#include <functional>

namespace vemla {

// Runs deliver; an exception it throws is shown through show_error and counts as an event not handled.
bool deliver_reporting_errors(const std::function<bool()>& deliver);

class Application : public QApplication {
  Q_OBJECT
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace vemla
