// The program's standard error box: the application's title as caption, the error's text, a stop icon. The
// user action that raised the error ends; the program goes on. The box does not hold its caller up
// (message_boxes.h).
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace vemla {

void show_error(QWidget* parent, const QString& text);
// The same, waiting until the user has closed the box: for errors of a window that is closing.
void show_error_and_wait(QWidget* parent, const QString& text);

// Tests take the texts instead of boxes; an empty handler brings the boxes back.
void set_error_handler(std::function<void(const QString&)> handler);

}  // namespace vemla
