#include "error_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <utility>

namespace vemla {

namespace {

std::function<void(const QString&)>& handler() {
  static std::function<void(const QString&)> instance;
  return instance;
}

}  // namespace

void show_error(QWidget* parent, const QString& text) {
  if (handler()) {
    handler()(text);
    return;
  }
  QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), text);
}

void set_error_handler(std::function<void(const QString&)> handler_function) {
  handler() = std::move(handler_function);
}

}  // namespace vemla
