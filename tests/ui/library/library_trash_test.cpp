// A deleted library in the desktop's trash: all its files or none, never one another program has open.
#include "library_trash.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "store.h"
#include "store_support.h"
#include "support.h"
#include "table.h"
#include "table_error.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

class LibraryTrashTest : public ::testing::Test {
 protected:
  void SetUp() override { test::create_library(dir.path(), "Set"); }
  // The trash of the tests' shared-data folder.
  static fs::path trash() {
    return fs::path(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString()) /
           "Trash";
  }
  static bool in_trash(const std::string& name) { return fs::exists(trash() / "files" / name); }

  test::TempDir dir;
  const LibraryPath library{dir.path(), "Set"};
};

TEST_F(LibraryTrashTest, WholeLibraryGoesToTheTrash) {
  const TrashResult result = move_library_to_trash(library);
  ASSERT_TRUE(result.done) << result.reason.toStdString();
  EXPECT_EQ(result.files.size(), 3);
  for (const fs::path& file : {library.tracks(), library.store(), library.categories()}) {
    EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_TRUE(in_trash(file.filename().string())) << file;
    EXPECT_TRUE(fs::exists(trash() / "info" / (file.filename().string() + ".trashinfo"))) << file;
  }
  // From the trash it is a library again.
  for (const fs::path& file : {library.tracks(), library.store(), library.categories()})
    fs::rename(trash() / "files" / file.filename(), file);
  Table tracks;
  test::name_table(tracks, dir.path(), "Set.db");
  EXPECT_NO_THROW(tracks.open());
}

TEST_F(LibraryTrashTest, LibraryInUseOrMissingIsRefusedAndNothingMoves) {
  const std::chrono::milliseconds wait = lock_wait();
  set_lock_wait(std::chrono::milliseconds(50));
  {
    Table held;
    test::name_table(held, dir.path(), "Set.db");
    held.open();
    try {
      move_library_to_trash(library);
      ADD_FAILURE() << "a library in use went to the trash";
    } catch (const TableError& error) {
      EXPECT_NE(std::string(error.what()).find("in use"), std::string::npos) << error.what();
    }
  }
  set_lock_wait(wait);
  for (const fs::path& file : {library.tracks(), library.store(), library.categories()})
    EXPECT_TRUE(fs::exists(file)) << file;
  EXPECT_THROW(move_library_to_trash({dir.path(), "Missing"}), TableError);
}

// A library whose files are damaged is no one's: it goes to the trash like any other.
TEST_F(LibraryTrashTest, DamagedLibraryGoesToTheTrashToo) {
  test::write_text(library.tracks(), std::string(5000, 'x'));
  const TrashResult result = move_library_to_trash(library);
  EXPECT_TRUE(result.done) << result.reason.toStdString();
  EXPECT_FALSE(fs::exists(library.tracks()));
}

}  // namespace
}  // namespace vemla
