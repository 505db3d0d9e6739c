#include "window_geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <limits>

namespace vemla {

namespace {

// How much of a window must show on a screen for the user to see it and take hold of it.
constexpr int kGripWidth = 64;
constexpr int kGripHeight = 32;

constexpr QSize kFrameAllowance(8, 40);

const char* const kKeys[] = {"x", "y", "dx", "dy"};

int read_value(QSettings& settings, const char* key, int first_start) {
  bool ok = false;
  const int value = settings.value(QLatin1String(key)).toInt(&ok);
  return ok ? value : first_start;
}

// The distance from a point to a rectangle (0 inside it).
double distance(const QPoint& point, const QRect& rect) {
  const int dx = std::max({rect.left() - point.x(), 0, point.x() - rect.right()});
  const int dy = std::max({rect.top() - point.y(), 0, point.y() - rect.bottom()});
  return std::hypot(dx, dy);
}

int fit(int start, int length, int area_start, int area_length) {
  if (length >= area_length) return area_start;
  return std::clamp(start, area_start, area_start + area_length - length);
}

bool position_is_platforms() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace

StoredGeometry read_geometry(QSettings& settings) {
  const StoredGeometry first_start;
  bool any = false;
  for (const char* key : kKeys) any = any || settings.contains(QLatin1String(key));
  if (!any) {
    settings.setValue(QStringLiteral("x"), first_start.x);
    settings.setValue(QStringLiteral("y"), first_start.y);
    settings.setValue(QStringLiteral("dx"), first_start.dx);
    settings.setValue(QStringLiteral("dy"), first_start.dy);
    settings.sync();
    return first_start;
  }
  return {read_value(settings, "x", first_start.x), read_value(settings, "y", first_start.y),
          read_value(settings, "dx", first_start.dx), read_value(settings, "dy", first_start.dy)};
}

void write_geometry(QSettings& settings, const QWidget& window) {
  if (window.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
  if (!position_is_platforms()) {
    settings.setValue(QStringLiteral("x"), window.x());
    settings.setValue(QStringLiteral("y"), window.y());
  }
  settings.setValue(QStringLiteral("dx"), window.width());
  settings.setValue(QStringLiteral("dy"), window.height());
  settings.sync();
}

QSize window_size(const StoredGeometry& stored, const QSize& needed, const QSize& largest_screen) {
  QSize size(stored.dx, stored.dy);
  if (largest_screen.isValid()) size = size.boundedTo(largest_screen);
  return size.expandedTo(needed);
}

QRect place_on_screens(const QRect& frame, const QList<QRect>& screens) {
  if (screens.isEmpty()) return frame;
  const int grip_width = std::min(frame.width(), kGripWidth);
  const int grip_height = std::min(frame.height(), kGripHeight);
  for (const QRect& screen : screens) {
    const QRect shown = frame.intersected(screen);
    if (shown.width() >= grip_width && shown.height() >= grip_height) return frame;
  }
  const QRect* nearest = &screens.front();
  double best = std::numeric_limits<double>::infinity();
  for (const QRect& screen : screens) {
    const double d = distance(frame.center(), screen);
    if (d < best) {
      best = d;
      nearest = &screen;
    }
  }
  return {QPoint(fit(frame.x(), frame.width(), nearest->x(), nearest->width()),
                 fit(frame.y(), frame.height(), nearest->y(), nearest->height())),
          frame.size()};
}

void apply_geometry(QWidget& window, const StoredGeometry& stored) {
  window.ensurePolished();
  QList<QRect> screens;
  QSize largest;
  for (const QScreen* screen : QGuiApplication::screens()) {
    screens << screen->availableGeometry();
    largest = largest.expandedTo(screen->availableGeometry().size());
  }
  const QSize size = window_size(stored, window.minimumSizeHint().expandedTo(window.minimumSize()), largest);
  if (window.minimumSize() == window.maximumSize()) {
    window.setFixedSize(size);
  } else {
    window.resize(size);
  }
  // The position is the frame's; before the window is first shown its frame is not known, so room is left for
  // a usual title bar and border.
  QSize frame = window.frameGeometry().size() - window.geometry().size();
  if (frame.isEmpty()) frame = kFrameAllowance;
  const QRect placed = place_on_screens(QRect(QPoint(stored.x, stored.y), size + frame), screens);
  window.move(placed.topLeft());
  // A window made but not yet mapped has no frame yet: the move above would put its client area at the stored
  // place and the window manager the frame above it, a title bar higher at every start. Asked for the frame's
  // position, the window manager puts the frame there.
  if (QWindow* handle = window.windowHandle()) handle->setFramePosition(placed.topLeft());
}

}  // namespace vemla
