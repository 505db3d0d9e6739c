// The main window's geometry in the per-user settings: the first start's values, what a close keeps, and a
// stored position that lies on no screen.
#include "window_geometry.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <ostream>

#include "qt_print.h"
#include "support.h"

inline std::ostream& operator<<(std::ostream& out, const QRect& r) {
  return out << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}
inline void PrintTo(const QRect& r, std::ostream* out) {
  *out << r;
}
inline void PrintTo(const QSize& s, std::ostream* out) {
  *out << s.width() << 'x' << s.height();
}

namespace vemla {

void PrintTo(const StoredGeometry& g, std::ostream* out) {
  *out << g.x << ',' << g.y << ' ' << g.dx << 'x' << g.dy;
}

namespace {

class WindowGeometryTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  QSettings settings{QString::fromStdString((dir / "geometry.ini").string()), QSettings::IniFormat};
};

TEST_F(WindowGeometryTest, FirstStartWritesTheFirstStartValues) {
  EXPECT_EQ(read_geometry(settings), (StoredGeometry{15, 10, 632, 387}));
  EXPECT_EQ(settings.value("x").toInt(), 15);
  EXPECT_EQ(settings.value("y").toInt(), 10);
  EXPECT_EQ(settings.value("dx").toInt(), 632);
  EXPECT_EQ(settings.value("dy").toInt(), 387);

  settings.setValue("x", 200);
  settings.setValue("dy", "not a number");
  settings.remove("dx");
  EXPECT_EQ(read_geometry(settings), (StoredGeometry{200, 10, 632, 387}));
}

TEST_F(WindowGeometryTest, OnlyANormalWindowIsWritten) {
  QWidget window;
  window.setGeometry(40, 50, 300, 200);
  write_geometry(settings, window);
  EXPECT_EQ(read_geometry(settings), (StoredGeometry{40, 50, 300, 200}));
  for (Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowMinimized, Qt::WindowFullScreen}) {
    window.move(400, 400);
    window.setWindowState(state);
    write_geometry(settings, window);
    EXPECT_EQ(read_geometry(settings), (StoredGeometry{40, 50, 300, 200})) << state;
  }
}

TEST_F(WindowGeometryTest, StoredSizeAppliesWhereItIsNotTooSmall) {
  const QSize needed(632, 387);
  EXPECT_EQ(window_size({0, 0, 700, 400}, needed, QSize(1920, 1080)), QSize(700, 400));
  EXPECT_EQ(window_size({0, 0, 500, 300}, needed, QSize(1920, 1080)), needed);
  EXPECT_EQ(window_size({0, 0, 9000, 9000}, needed, QSize(1920, 1080)), QSize(1920, 1080));
  EXPECT_EQ(window_size({0, 0, 9000, 200}, needed, QSize()), QSize(9000, 387));
  // A screen smaller than the window still gets the whole window.
  EXPECT_EQ(window_size({0, 0, 632, 387}, needed, QSize(600, 300)), needed);
}

TEST_F(WindowGeometryTest, AWindowOnNoScreenMovesToTheNearestOne) {
  const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
  const QSize size(632, 387);
  // On a screen, or across two: where it was.
  EXPECT_EQ(place_on_screens(QRect(QPoint(15, 10), size), screens), QRect(QPoint(15, 10), size));
  EXPECT_EQ(place_on_screens(QRect(QPoint(1700, 100), size), screens), QRect(QPoint(1700, 100), size));
  // Partly off a screen but easy to take hold of: where it was.
  EXPECT_EQ(place_on_screens(QRect(QPoint(-300, 500), size), screens), QRect(QPoint(-300, 500), size));
  // On a removed screen to the right: the nearest screen, whole.
  EXPECT_EQ(place_on_screens(QRect(QPoint(3500, 200), size), screens), QRect(QPoint(3200 - 632, 200), size));
  // Far below the first screen.
  EXPECT_EQ(place_on_screens(QRect(QPoint(100, 5000), size), screens), QRect(QPoint(100, 1080 - 387), size));
  // Showing only a sliver (its last pixels above the top): moved down.
  EXPECT_EQ(place_on_screens(QRect(QPoint(100, -380), size), screens), QRect(QPoint(100, 0), size));
  // Larger than the screen: at its top left.
  EXPECT_EQ(place_on_screens(QRect(QPoint(5000, 0), QSize(1500, 1100)), screens),
            QRect(QPoint(1920, 0), QSize(1500, 1100)));
  // No screen known: as it is.
  EXPECT_EQ(place_on_screens(QRect(QPoint(5000, 5000), size), {}), QRect(QPoint(5000, 5000), size));
}

TEST_F(WindowGeometryTest, ApplyPlacesAFixedWindowOnThisComputersScreens) {
  QWidget window;
  window.setFixedSize(632, 387);
  apply_geometry(window, {30, 40, 700, 420});
  EXPECT_EQ(window.pos(), QPoint(30, 40));
  EXPECT_EQ(window.size(), QSize(700, 420));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  QWidget lost;
  lost.setFixedSize(632, 387);
  apply_geometry(lost, {100000, 100000, 100, 100});
  EXPECT_EQ(lost.size(), QSize(632, 387)) << "not smaller than the window needs";
  bool on_a_screen = false;
  for (const QScreen* screen : QGuiApplication::screens())
    on_a_screen = on_a_screen || screen->availableGeometry().contains(lost.geometry());
  EXPECT_TRUE(on_a_screen) << lost.geometry();
}

}  // namespace
}  // namespace vemla
