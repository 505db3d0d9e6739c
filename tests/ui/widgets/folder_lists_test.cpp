// The drive, folder and file lists of the library dialogs, and the name the "New" dialog takes: on folders
// made for the test, filled by the file-system model in the background (waited for with deadlines).
#include "folder_lists.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "new_library_dialog.h"
#include "store_support.h"
#include "support.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

QString qpath(const fs::path& path) {
  return QString::fromStdString(path.string());
}

bool settle(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 30000);
}

TEST(FolderListsTest, FileListMatchesMaskAndTellsMarkedFiles) {
  test::TempDir dir;
  for (const char* name : {"b.mp3", "A.MP3", "c.mp2", "d.wav", ".hidden.mp3", "e.mp3.txt"})
    test::write_text(dir / name, "x");
  fs::create_directory(dir / "folder.mp3");
  FileListBox list(QStringLiteral("*.mp3;*.mp2"), true);
  list.set_folder(qpath(dir.path()));
  const QStringList expected{"A.MP3", "b.mp3", "c.mp2"};
  ASSERT_TRUE(settle([&] { return list.names() == expected; })) << list.names().join(' ').toStdString();
  EXPECT_EQ(list.marked_count(), 0);
  EXPECT_TRUE(list.file_name().isEmpty());
  EXPECT_FALSE(list.mark(QStringLiteral("d.wav")));

  int changes = 0;
  QObject::connect(&list, &FileListBox::marks_changed, [&] { ++changes; });
  ASSERT_TRUE(list.mark(QStringLiteral("c.mp2")));
  ASSERT_TRUE(list.mark(QStringLiteral("A.MP3"), true));
  EXPECT_EQ(changes, 2);
  // In list order, whatever the order of marking; the focused entry is the one to preview.
  EXPECT_EQ(list.marked_paths(), (QStringList{qpath(dir / "A.MP3"), qpath(dir / "c.mp2")}));
  EXPECT_EQ(list.file_name(), qpath(dir / "A.MP3"));
  // A focused entry that is not marked leaves the first marked one.
  list.selectionModel()->select(list.currentIndex(), QItemSelectionModel::Deselect);
  EXPECT_EQ(list.file_name(), qpath(dir / "c.mp2"));
  ASSERT_TRUE(list.mark(QStringLiteral("b.mp3")));
  EXPECT_EQ(list.marked_paths(), QStringList{qpath(dir / "b.mp3")});

  // Another folder: no marks.
  list.set_folder(qpath(dir / "folder.mp3"));
  EXPECT_EQ(list.marked_count(), 0);
  EXPECT_TRUE(list.file_name().isEmpty());
}

TEST(FolderListsTest, FolderTreeAndPlacesFollowTheChosenFolder) {
  test::TempDir dir;
  fs::create_directories(dir / "music" / "albums");
  DirectoryListBox tree;
  QStringList chosen;
  QObject::connect(&tree, &DirectoryListBox::folder_chosen, [&](const QString& folder) { chosen << folder; });
  EXPECT_TRUE(tree.folder().isEmpty());
  tree.set_folder(qpath(dir / "music" / "albums"));
  EXPECT_EQ(tree.folder(), qpath(dir / "music" / "albums"));
  tree.set_folder(qpath(dir / "music" / "albums" / ".." / "."));
  EXPECT_EQ(tree.folder(), qpath(dir / "music"));
  EXPECT_EQ(chosen, (QStringList{qpath(dir / "music" / "albums"), qpath(dir / "music")}));
  EXPECT_TRUE(tree.isExpanded(tree.currentIndex().parent()));

  DriveComboBox places;
  ASSERT_GT(places.count(), 0);
  places.show_place_of(QDir::homePath() + QStringLiteral("/somewhere"));
  EXPECT_EQ(places.place(), QDir::homePath());
  places.show_place_of(QStringLiteral("/"));
  EXPECT_EQ(places.place(), QStringLiteral("/"));
}

TEST(FolderListsTest, NewDialogTakesTheNameWithoutExtension) {
  TForm5 dialog;
  test::TempDir dir;
  dialog.show();
  dialog.DirectoryListBox1->set_folder(qpath(dir.path()));
  EXPECT_EQ(dialog.folder(), qpath(dir.path()));
  EXPECT_FALSE(dialog.BitBtn2->isEnabled());
  const std::pair<const char*, const char*> names[] = {{"  Evening Set ", "Evening Set"},
                                                       {"Set.mb", "Set"},
                                                       {"Set.DB", "Set"},
                                                       {".mb", ".mb"},
                                                       {"Set.mp3", "Set.mp3"}};
  for (const auto& [typed, taken] : names) {
    dialog.Edit1->setText(QString::fromLatin1(typed));
    EXPECT_EQ(dialog.base_name(), QString::fromLatin1(taken)) << typed;
    EXPECT_TRUE(dialog.BitBtn2->isEnabled());
  }
  dialog.Edit1->setText(QStringLiteral("   "));
  EXPECT_FALSE(dialog.BitBtn2->isEnabled());
  // Each showing starts with an empty name.
  dialog.Edit1->setText(QStringLiteral("Old"));
  dialog.hide();
  dialog.show();
  EXPECT_TRUE(dialog.Edit1->text().isEmpty());
}

}  // namespace
}  // namespace vemla
