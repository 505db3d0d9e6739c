// The main window's position and size, kept in the per-user settings (QSettings) under the keys "x", "y", "dx"
// and "dy": read at the first activation, written when the window closes in its normal state.
#pragma once

#include <QList>
#include <QRect>
#include <QSize>

class QSettings;
class QWidget;

namespace vemla {

struct StoredGeometry {
  int x = 15;
  int y = 10;
  int dx = 632;
  int dy = 387;
  friend bool operator==(const StoredGeometry&, const StoredGeometry&) = default;
};

// The four values; on the first start (no values yet) the first-start ones are written and returned. A value
// that is missing or no number reads as its first-start value.
StoredGeometry read_geometry(QSettings& settings);

// Writes the window's position and size, but only for a window in its normal state: a maximised, minimised or
// full-screen window leaves the stored values as they were. Where the platform keeps the position to itself
// (Wayland), the stored position stays as it was.
void write_geometry(QSettings& settings, const QWidget& window);

// The size the window gets: the stored size where it is not smaller than what the window needs, and not larger
// than the largest screen (an invalid size: no screen known).
QSize window_size(const StoredGeometry& stored, const QSize& needed, const QSize& largest_screen);

// A window frame that lies on no screen (or shows too little of itself to be grabbed) moved onto the nearest
// screen, whole where it fits, else at that screen's top left; any other frame as it is. `screens` are the
// screens' available areas; with none the frame stays.
QRect place_on_screens(const QRect& frame, const QList<QRect>& screens);

// Sizes and places a top-level window by the stored values, on this computer's screens; a window of fixed
// size keeps it fixed.
void apply_geometry(QWidget& window, const StoredGeometry& stored);

}  // namespace vemla
