// The program's own pictures, the icons it takes from the desktop theme, and the small conventions every
// window follows: controls named by their form names, hints, help contexts, the black display panels.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QStyle>
#include <QVariant>

class QWidget;

namespace vemla {

// Makes the pictures compiled into the program available (once; later calls do nothing) and names a fallback
// icon theme for desktops whose theme lacks the media icons.
void load_resources();

// The program's icon (window and desktop entry).
QIcon vemla_icon();

// The desktop theme's icon of that name, else the style's standard icon.
QIcon theme_icon(const char* name, QStyle::StandardPixmap fallback);

// Help contexts for the help key: a property that the help handler looks up from the focused widget through
// its parents.
inline constexpr const char* kHelpContext = "helpContext";
inline void help_context(QObject* object, int context) {
  object->setProperty(kHelpContext, context);
}

// The object, named by its form name.
template <typename T>
T* named(T* object, const char* name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

// A hint: the tool tip, and the status bar's text while the pointer rests on the control.
void hint(QWidget* widget, const QString& text);

// Lime text on black in a sunken frame, whatever the palette: the time displays and the playlist label.
void black_panel(QWidget* widget);

}  // namespace vemla
