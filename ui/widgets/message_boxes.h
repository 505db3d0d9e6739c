// The program's message boxes. A box is shown and its caller goes on at once, so that nothing waits on the
// user: not a media-control call on the bus (its caller would hang until the box is closed), not a later
// start handing its library over. A message that comes while a box with the same text is still shown is
// counted into that box ("and 999 more") instead of opening another one.
#pragma once

#include <QString>

#include "notifier.h"

class QWidget;

namespace vemla {

// Shows the message in an application-modal box over `parent` (or over no window) and returns.
void show_message(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon);

// Shows the message and waits until the user has closed its box: for messages a closing window must still
// show before the program ends.
void show_message_and_wait(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon);

// Whether the widget is one of these boxes: work that waits for the user's dialogs need not wait for them,
// as no caller is stopped inside one.
bool is_message_box(const QWidget* widget);

// The text with every run of more than `longest` characters without a space (a long file name) cut in the
// middle, so that no box grows wider than the screen.
QString with_long_words_elided(const QString& text, int longest = 100);

}  // namespace vemla
