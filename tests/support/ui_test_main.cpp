// The main of the window suites: headless (the offscreen platform unless told otherwise), with the per-user
// data, settings, runtime and shared-data (the trash) folders in a temporary folder, and one application
// object for all tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "support.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  vemla::test::TempDir home;
  for (const char* folder : {"data", "config", "runtime", "share"})
    std::filesystem::create_directory(home / folder);
  ::chmod((home / "runtime").c_str(), 0700);
  ::setenv("VEMLA_HOME", (home / "data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (home / "share").c_str(), 1);  // the trash of deleted libraries
  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
  QCoreApplication::setApplicationName(QStringLiteral("Vemla Version 1.25"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Vemla"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
