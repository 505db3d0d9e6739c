#include "look.h"

#include <QApplication>
#include <QFrame>
#include <QPalette>
#include <QWidget>

// Outside any namespace, as Qt's resource initialiser requires.
static void init_vemla_resources() {
  Q_INIT_RESOURCE(vemla);
}

namespace vemla {

void load_resources() {
  static const bool loaded = [] {
    init_vemla_resources();
    // Platforms without a desktop theme (offscreen, minimal) neither name a theme nor search the system's
    // icon folders; the freedesktop defaults stand in.
    QStringList paths = QIcon::themeSearchPaths();
    QString data_dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (data_dirs.isEmpty()) data_dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : data_dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
      const QString icons = dir + QStringLiteral("/icons");
      if (!paths.contains(icons)) paths << icons;
    }
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("hicolor"));
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
      QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    return true;
  }();
  (void)loaded;
}

QIcon vemla_icon() {
  load_resources();
  return QIcon(QStringLiteral(":/vemla/vemla.svg"));
}

QIcon theme_icon(const char* name, QStyle::StandardPixmap fallback) {
  load_resources();
  // Symbolic icons are drawn dark and the full ones often light (white outlines): each is taken first where
  // it stands out against the palette.
  const QString plain = QString::fromLatin1(name);
  const QString symbolic = plain + QStringLiteral("-symbolic");
  const bool dark = QApplication::palette().color(QPalette::Window).lightness() < 128;
  for (const QString& candidate : dark ? QStringList{plain, symbolic} : QStringList{symbolic, plain}) {
    if (QIcon::hasThemeIcon(candidate)) return QIcon::fromTheme(candidate);
  }
  return QApplication::style()->standardIcon(fallback);
}

void hint(QWidget* widget, const QString& text) {
  widget->setToolTip(text);
  widget->setStatusTip(text);
}

void black_panel(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, QColor(0x00, 0xff, 0x00));  // "lime"
  widget->setPalette(palette);
  widget->setBackgroundRole(QPalette::Window);
  widget->setForegroundRole(QPalette::WindowText);
  widget->setAutoFillBackground(true);
  if (auto* frame = qobject_cast<QFrame*>(widget)) frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

}  // namespace vemla
