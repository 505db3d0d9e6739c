#include "error_box.h"

#include <QGuiApplication>
#include <utility>

#include "message_boxes.h"

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
  show_message(parent, QGuiApplication::applicationDisplayName(), text, MessageIcon::Error);
}

void show_error_and_wait(QWidget* parent, const QString& text) {
  if (handler()) {
    handler()(text);
    return;
  }
  show_message_and_wait(parent, QGuiApplication::applicationDisplayName(), text, MessageIcon::Error);
}

void set_error_handler(std::function<void(const QString&)> handler_function) {
  handler() = std::move(handler_function);
}

}  // namespace vemla
