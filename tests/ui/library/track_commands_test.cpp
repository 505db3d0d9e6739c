// The "&Track" menu on a whole program: "Add to Base" with its lists, its preview through the player and the
// import it starts, files and folders dropped on the main window, export through the save dialog, fix with
// its progress and cancel, delete, and "MPEG Info".
#include "track_commands.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "data_controls.h"
#include "folder_lists.h"
#include "library_work.h"
#include "program_fixture.h"
#include "store_support.h"
#include "temporary_track.h"
#include "track_list.h"
#include "track_list_model.h"
#include "track_files.h"
#include "track_import.h"
#include "track_ops.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

class TrackCommandsTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    if (test::layer3_file().empty() || test::layer2_file().empty())
      GTEST_SKIP() << "lame or twolame is missing";
    fs::create_directories(dir / "lib");
    test::create_library(dir / "lib", "Lib");
  }

  void open_library() { ASSERT_TRUE(program.library.open_library_file(qpath(dir / "lib" / "Lib.mb"))); }

  // Track files in a folder of the test's: "a.mp3" a copy of the Layer III file with an ID3 version 1 tag
  // titled after it, any other "*.mp2" name the Layer II file, "*.txt" and "noheader.mp3" text.
  fs::path track_file(const fs::path& file) {
    fs::create_directories(file.parent_path());
    const std::string name = file.filename().string();
    if (name == "noheader.mp3" || file.extension() == ".txt") {
      test::write_text(file, std::string(3000, 'x'));
    } else if (file.extension() == ".MP2" || file.extension() == ".mp2") {
      test::copy_track(test::layer2_file(), file);
    } else {
      test::copy_track(test::layer3_file(), file);
      test::append_id3v1(file, "Title " + file.stem().string(), "Artist", "Album", "2024", "");
    }
    return file;
  }

  bool work_ended() {
    return settle([&] { return !program.work.running(); });
  }

  std::string column(int record, const char* name) {
    EXPECT_TRUE(go_to_record(db.Table1, record));
    return db.Table1.field_by_name(name).as_text();
  }

  TrackCommands& tracks = program.tracks;
  TForm1& form = program.form1;
  TForm8& add = program.form8;
  Tdb& db = program.data_module;
};

TEST_F(TrackCommandsTest, AddImportsMarkedFilesInListOrder) {
  const fs::path music = dir / "music";
  for (const char* name : {"b.mp3", "a.mp3", "c.MP2", "d.mp3", "noheader.mp3", "notes.txt"})
    track_file(music / name);
  open_library();
  set_storage(db.Table2, true);

  const QStringList listed{"a.mp3", "b.mp3", "c.MP2", "d.mp3", "noheader.mp3"};
  answer(tracks.dialogs(), [&](QDialog&) {
    EXPECT_TRUE(storage(db.Table2));  // the user's option, although what the dialog adds stays on disk
    EXPECT_FALSE(add.SpeedButton1->isEnabled() || add.SpeedButton2->isEnabled());
    add.DirectoryListBox1->set_folder(qpath(music));
    ASSERT_TRUE(settle([&] { return add.FileListBox1->names() == listed; }))
        << add.FileListBox1->names().join(' ').toStdString();
    ASSERT_TRUE(add.FileListBox1->mark("noheader.mp3"));
    ASSERT_TRUE(add.FileListBox1->mark("c.MP2", true));
    ASSERT_TRUE(add.FileListBox1->mark("a.mp3", true));
    EXPECT_TRUE(add.SpeedButton1->isEnabled() && add.SpeedButton2->isEnabled());
    add.SpeedButton1->click();
  });
  tracks.Import1Click();
  ASSERT_TRUE(work_ended());
  ASSERT_EQ(db.Table1.record_count(), 2);
  EXPECT_EQ(column(1, "PAD"), (music / "a.mp3").string());
  EXPECT_EQ(column(1, "TITLE"), "Title a");
  EXPECT_TRUE(db.Table1.field_by_name("DATA").is_empty());
  EXPECT_EQ(column(2, "PAD"), (music / "c.MP2").string());
  EXPECT_EQ(column(2, "LAYER"), "II");
  EXPECT_EQ(program.playlist.playlist().entry(0), 1);
  EXPECT_EQ(program.playlist.playlist().entry(1), 2);
  EXPECT_TRUE(settle([&] { return form.Export1->isEnabled(); }));  // the first track, from its file
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].contains(qpath(music / "noheader.mp3"))) << messages.texts[0].toStdString();
  EXPECT_EQ(form.RzStatusBar1->currentMessage(), "2 tracks added, 1 file not added");
  EXPECT_TRUE(errors.isEmpty());

  // Closed without "Add": nothing is added; another folder takes the marks and the buttons away.
  answer(tracks.dialogs(), [&](QDialog&) {
    add.DirectoryListBox1->set_folder(qpath(music));
    ASSERT_TRUE(settle([&] { return add.FileListBox1->names() == listed; }));
    add.FileListBox1->mark("b.mp3");
    EXPECT_TRUE(add.SpeedButton1->isEnabled());
    add.DirectoryListBox1->set_folder(qpath(dir.path()));
    EXPECT_FALSE(add.SpeedButton1->isEnabled() || add.SpeedButton2->isEnabled());
    add.BitBtn1->click();
  });
  tracks.Import1Click();
  EXPECT_FALSE(program.work.running());
  EXPECT_EQ(db.Table1.record_count(), 2);
}

TEST_F(TrackCommandsTest, AddTakesSubfoldersAndPassesOverKnownFiles) {
  const fs::path music = dir / "music";
  for (const char* name : {"a.mp3", "sub/b.mp3", "sub/deeper/c.mp3"}) track_file(music / name);
  open_library();
  ASSERT_TRUE(import_track(db.Table1, music / "a.mp3", false).added());
  const auto add_folder = [&](bool again) {
    answer(tracks.dialogs(), [&](QDialog&) {
      add.Subfolders->setChecked(true);
      add.AddAgain->setChecked(again);
      add.DirectoryListBox1->set_folder(qpath(music));
      ASSERT_TRUE(settle([&] { return add.FileListBox1->names().size() == 1; }));
      EXPECT_TRUE(add.SpeedButton1->isEnabled()) << "the whole folder, nothing marked";
      add.SpeedButton1->click();
    });
    tracks.Import1Click();
    ASSERT_TRUE(work_ended());
  };
  add_folder(false);
  EXPECT_EQ(db.Table1.record_count(), 3);
  EXPECT_EQ(column(3, "PAD"), (music / "sub/deeper/c.mp3").string());
  EXPECT_EQ(form.RzStatusBar1->currentMessage(), "2 tracks added, 1 file already in the database");
  QSettings kept;
  EXPECT_EQ(kept.value("AddFolder").toString(), qpath(music)) << "the next start opens there";
  EXPECT_TRUE(kept.value("AddSubfolders").toBool());
  add_folder(true);
  EXPECT_EQ(db.Table1.record_count(), 6) << "added again when asked";
  EXPECT_TRUE(messages.texts.isEmpty());
  kept.clear();  // the tests after this one start as a first start does
}

// Enter on marked files adds them; it closed the dialog through its one push button, adding nothing.
TEST_F(TrackCommandsTest, EnterInTheFileListAdds) {
  const fs::path music = dir / "music";
  track_file(music / "a.mp3");
  open_library();
  add.show();
  add.DirectoryListBox1->set_folder(qpath(music));
  ASSERT_TRUE(settle([&] { return add.FileListBox1->names().size() == 1; }));
  EXPECT_EQ(add.focusWidget(), add.FileListBox1);  // where the files are marked
  // Without a mark Enter neither adds nor closes.
  QTest::keyClick(add.FileListBox1, Qt::Key_Return);
  EXPECT_TRUE(add.isVisible());
  ASSERT_TRUE(add.FileListBox1->mark("a.mp3"));
  QTest::keyClick(add.FileListBox1, Qt::Key_Return);
  EXPECT_FALSE(add.isVisible());
  EXPECT_EQ(add.result(), QDialog::Accepted);
  EXPECT_EQ(add.chosen_files(), QStringList{qpath(music / "a.mp3")});
}

TEST_F(TrackCommandsTest, AddPreviewsThroughThePlayer) {
  const fs::path music = dir / "music";
  track_file(music / "a.mp3");
  track_file(music / "noheader.mp3");
  std::vector<uint8_t> unknown_rate;  // Layer III frames with the reserved sampling code
  for (int i = 0; i < 4; ++i) {
    unknown_rate.insert(unknown_rate.end(), {0xFF, 0xFB, 0x9C, 0xC4});
    unknown_rate.resize(unknown_rate.size() + 413);
  }
  test::write_file(music / "rate.mp3", unknown_rate);
  open_library();
  Player& player = program.player;
  add.show();
  add.DirectoryListBox1->set_folder(qpath(music));
  ASSERT_TRUE(settle([&] { return add.FileListBox1->names().size() == 3; }));

  ASSERT_TRUE(add.FileListBox1->mark("a.mp3"));
  add.SpeedButton2->click();
  EXPECT_EQ(add.Label1->text(), "0:00:02");
  EXPECT_EQ(add.SpeedButton2->text(), "Stop");
  EXPECT_TRUE(add.previewing());
  EXPECT_EQ(player.track_file_name, (music / "a.mp3").string());
  add.SpeedButton2->click();
  EXPECT_EQ(add.SpeedButton2->text(), "Play");
  EXPECT_FALSE(add.previewing() || player.run_open());

  // Played to its end, the preview shows "Play" again.
  add.SpeedButton2->click();
  ASSERT_TRUE(settle([&] { return add.SpeedButton2->text() == "Play"; }));
  EXPECT_FALSE(player.run_open());

  // A file without a frame header says so and plays nothing.
  ASSERT_TRUE(add.FileListBox1->mark("noheader.mp3"));
  add.SpeedButton2->click();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains("noheader.mp3"));
  EXPECT_EQ(add.SpeedButton2->text(), "Play");
  EXPECT_FALSE(player.run_open());
  // Audio the decoder leaves out is named as such, in one message.
  ASSERT_TRUE(add.FileListBox1->mark("rate.mp3"));
  add.SpeedButton2->click();
  ASSERT_EQ(errors.size(), 2);
  EXPECT_EQ(errors[1], "rate.mp3 cannot be played or added: Unknown sample frequency in header.");
  EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
  EXPECT_FALSE(player.run_open());

  // Closing the dialog ends a preview.
  ASSERT_TRUE(add.FileListBox1->mark("a.mp3"));
  add.SpeedButton2->click();
  EXPECT_TRUE(add.previewing());
  add.BitBtn1->click();
  EXPECT_FALSE(add.previewing() || player.run_open());
}

TEST_F(TrackCommandsTest, DroppedFilesAndFoldersAreAdded) {
  const fs::path music = dir / "music";
  track_file(music / "sub" / "deeper" / "x.MP3");
  track_file(music / "y.mp3");
  track_file(music / "readme.txt");
  const fs::path single = track_file(dir / "single" / "z.mp2");

  drop({qpath(single)});
  ASSERT_TRUE(settle([&] { return messages.texts.size() == 1; }));
  EXPECT_TRUE(messages.texts[0].startsWith("Open or create a database first"));

  open_library();
  drop({qpath(music), qpath(single)});
  ASSERT_TRUE(settle([&] { return db.Table1.record_count() == 3 && !program.work.running(); }));
  EXPECT_EQ(column(1, "PAD"), (music / "sub" / "deeper" / "x.MP3").string());
  EXPECT_EQ(column(2, "PAD"), (music / "y.mp3").string());
  EXPECT_EQ(column(3, "PAD"), single.string());
  EXPECT_EQ(messages.texts.size(), 1);

  // A file the library holds is passed over, and the status bar says so.
  drop({qpath(single)});
  ASSERT_TRUE(settle([&] { return !program.work.running(); }));
  EXPECT_EQ(db.Table1.record_count(), 3);
  EXPECT_TRUE(form.RzStatusBar1->currentMessage().contains("1 file already in the database"))
      << form.RzStatusBar1->currentMessage().toStdString();

  // On the memo, the file is added too, and the memo keeps its text.
  const QString memo = form.DBMemo1->toPlainText();
  const fs::path other = track_file(dir / "single" / "w.mp3");
  drop({qpath(other)}, form.DBMemo1->viewport());
  ASSERT_TRUE(settle([&] { return db.Table1.record_count() == 4 && !program.work.running(); }));
  EXPECT_EQ(form.DBMemo1->toPlainText(), memo);
  EXPECT_TRUE(errors.isEmpty());
}

// Export follows the current track, whatever the storage option says: its stored audio, or its file on disk.
TEST_F(TrackCommandsTest, ExportFollowsTheCurrentTrack) {
  open_library();
  const fs::path source = track_file(dir / "music" / "a.mp3");
  const fs::path gone = track_file(dir / "music" / "gone.mp3");
  ASSERT_TRUE(import_track(db.Table1, source, true).added());
  ASSERT_TRUE(import_track(db.Table1, source, false).added());
  ASSERT_TRUE(import_track(db.Table1, gone, false).added());
  fs::remove(gone);
  set_storage(db.Table2, false);
  const auto export_enabled = [&](int record) {
    go_to_record(db.Table1, record);
    return settle([&] { return form.Export1->isEnabled(); });
  };
  const auto export_disabled = [&](int record) {
    go_to_record(db.Table1, record);
    return settle([&] { return !form.Export1->isEnabled(); });
  };

  FileRequest asked;
  int asks = 0;
  QString chosen = qpath(dir / "out.mp3");
  tracks.dialogs().choose_file = [&](QWidget*, const FileRequest& request) {
    asked = request;
    ++asks;
    return chosen;
  };
  ASSERT_TRUE(export_enabled(1));  // stored
  tracks.Export1Click();
  EXPECT_EQ(asked.title, "Export track");
  EXPECT_TRUE(asked.save && asked.filter.isEmpty());
  EXPECT_EQ(asked.help_context, 190);
  EXPECT_EQ(asked.file, "a.mp3");
  EXPECT_EQ(test::read_file(dir / "out.mp3"), test::read_file(source));

  ASSERT_TRUE(export_enabled(2));  // kept on disk: a copy of its file
  chosen = qpath(dir / "out2.mp3");
  tracks.Export1Click();
  EXPECT_EQ(test::read_file(dir / "out2.mp3"), test::read_file(source));
  EXPECT_TRUE(errors.isEmpty());

  // Neither stored nor on disk: nothing to export, and no dialog.
  ASSERT_TRUE(export_disabled(3));
  tracks.Export1Click();
  EXPECT_EQ(asks, 2);
  EXPECT_FALSE(storage(db.Table2)) << "the user's option";
}

// Opening Add to Base leaves the storage option as the user chose it.
TEST_F(TrackCommandsTest, AddToBaseKeepsTheStorageOption) {
  open_library();
  ASSERT_TRUE(import_track(db.Table1, track_file(dir / "music" / "a.mp3"), true).added());
  set_storage(db.Table2, true);
  answer(tracks.dialogs(), [](QDialog& dialog) { dialog.reject(); });
  tracks.Import1Click();
  EXPECT_TRUE(storage(db.Table2));
  EXPECT_TRUE(settle([&] { return form.Export1->isEnabled(); }));
}

TEST_F(TrackCommandsTest, FixStoresAudioNamesMissingFilesAndCancels) {
  open_library();
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
    ASSERT_TRUE(import_track(db.Table1, track_file(dir / "music" / name), false).added());
  const fs::path missing = dir / "music" / "b.mp3";
  fs::rename(missing, dir / "b.away");
  go_to_record(db.Table1, 3);

  tracks.fix1Click();
  ASSERT_TRUE(program.work.running());
  EXPECT_FALSE(form.fix1->isEnabled() || form.Import1->isEnabled() || form.Delete2->isEnabled());
  EXPECT_FALSE(program.work.cancel_button()->isHidden());
  ASSERT_TRUE(work_ended());
  EXPECT_TRUE(form.fix1->isEnabled() && form.Import1->isEnabled());
  EXPECT_EQ(db.Table1.record_number(), 3);  // the user's track again
  const auto stored = [&](int record) {
    go_to_record(db.Table1, record);
    return !db.Table1.field_by_name("DATA").is_empty();
  };
  EXPECT_TRUE(stored(1) && stored(3));
  EXPECT_FALSE(stored(2));
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].contains(qpath(missing))) << messages.texts[0].toStdString();
  EXPECT_EQ(form.RzStatusBar1->currentMessage(), "The audio of 2 tracks stored, 1 not stored");

  // Cancelled before its first step, a fix stores nothing; run again, it fills only the missing track.
  fs::rename(dir / "b.away", missing);
  tracks.fix1Click();
  program.work.cancel();
  ASSERT_TRUE(work_ended());
  EXPECT_FALSE(stored(2));
  EXPECT_TRUE(form.RzStatusBar1->currentMessage().startsWith("Storing cancelled"));
  tracks.fix1Click();
  ASSERT_TRUE(work_ended());
  EXPECT_TRUE(stored(2));
  EXPECT_EQ(form.RzStatusBar1->currentMessage(), "The audio of 1 track stored");
  EXPECT_TRUE(errors.isEmpty());
}

// Text where a number belongs (another program's work, or a damaged file's): "MPEG Info" shows the track's
// other facts, and the number as 0, as vemla-library lists it.
TEST_F(TrackCommandsTest, InfoShowsATrackPastACellThatHoldsNoNumber) {
  {
    Table lib;
    test::name_table(lib, dir / "lib", "Lib.db");
    lib.open();
    ASSERT_TRUE(import_track(lib, track_file(dir / "music" / "a.mp3"), false).added());
  }
  {
    SQLite::Database raw(dir / "lib" / "Lib.db", SQLite::OPEN_READWRITE);
    const std::vector<ColumnDef> columns = track_columns();
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].name == TrackTable::checksums.name)
        raw.exec("UPDATE rows SET " + row_column(static_cast<int>(i)) + "='abc'");
    }
  }
  open_library();
  answer(tracks.dialogs(), [&](QDialog& dialog) {
    auto& info = static_cast<TForm4&>(dialog);
    EXPECT_EQ(info.DBText1->text(), "MPEG-1");
    EXPECT_EQ(info.DBText2->text(), "III");
    EXPECT_EQ(info.DBText6->text(), "0");
    info.BitBtn1->click();
  });
  tracks.Info1Click();
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(TrackCommandsTest, DeleteAndInfoWorkOnCurrentTrack) {
  open_library();
  tracks.Delete2Click();  // an empty library: nothing happens
  EXPECT_TRUE(errors.isEmpty());

  const fs::path a = track_file(dir / "music" / "a.mp3");
  ASSERT_TRUE(import_track(db.Table1, a, false).added());
  ASSERT_TRUE(import_track(db.Table1, track_file(dir / "music" / "b.mp3"), false).added());
  go_to_record(db.Table1, 1);
  db.Table1.edit();
  db.Table1.field_by_name("COPYRIGHT").set_boolean(true);
  db.Table1.field_by_name("ORIGINAL").set_boolean(false);
  db.Table1.post();

  answer(tracks.dialogs(), [&](QDialog& dialog) {
    auto& info = static_cast<TForm4&>(dialog);
    EXPECT_EQ(info.windowTitle(), "MPEG Info");
    EXPECT_EQ(info.DBText1->text(), "MPEG-1");
    EXPECT_EQ(info.DBText2->text(), QString::fromStdString(column(1, "LAYER")));
    EXPECT_EQ(info.DBText7->text(), QString::fromStdString(column(1, "FRAMETOTAL")));
    EXPECT_EQ(info.Label11->text(), "Yes");
    EXPECT_EQ(info.Label12->text(), "No");
    EXPECT_EQ(info.RzDBLineEdit1->text(), qpath(a));
    info.BitBtn1->click();
  });
  tracks.Info1Click();

  tracks.Delete2Click();
  ASSERT_EQ(db.Table1.record_count(), 1);
  EXPECT_EQ(column(1, "TITLE"), "Title b");
  tracks.UndoDelete1Click();
  ASSERT_EQ(db.Table1.record_count(), 2);
  go_to_record(db.Table1, 2);
  tracks.Delete2Click();

  // In a read-only library the engine refuses, and the track stays.
  db.Table3.append();
  db.Table3.field_by_name("READONLY").set_boolean(true);
  db.Table3.post();
  open_library();
  ASSERT_TRUE(db.Table1.read_only());
  tracks.Delete2Click();
  EXPECT_EQ(errors.size(), 1);
  EXPECT_EQ(db.Table1.record_count(), 1);
}

// The last deleted track, with its stored audio, memo and categories, comes back through Undo Delete (Ctrl+Z)
// until the library closes.
TEST_F(TrackCommandsTest, DeletedTrackCanBeTakenBack) {
  open_library();
  ASSERT_TRUE(import_track(db.Table1, track_file(dir / "music" / "a.mp3"), true).added());
  ASSERT_TRUE(import_track(db.Table1, track_file(dir / "music" / "b.mp3"), false).added());
  ASSERT_TRUE(import_track(db.Table1, track_file(dir / "music" / "c.mp3"), false).added());
  go_to_record(db.Table1, 1);
  db.Table1.edit();
  db.Table1.field_by_name("MEMO").set_text("my notes");
  db.Table1.field_by_name("C7").set_boolean(true);
  db.Table1.post();
  const std::vector<uint8_t> audio = test::read_file(dir / "music" / "a.mp3");
  EXPECT_FALSE(form.UndoDelete1->isEnabled());
  EXPECT_EQ(form.UndoDelete1->shortcut(), QKeySequence());  // the keyboard's part sets it

  tracks.Delete2Click();  // no question
  EXPECT_EQ(db.Table1.record_count(), 2);
  EXPECT_TRUE(form.UndoDelete1->isEnabled());
  EXPECT_TRUE(form.RzStatusBar1->currentMessage().contains("Undo Delete"));
  fs::remove(dir / "music" / "a.mp3");  // its stored audio does not depend on the file

  form.UndoDelete1->trigger();
  ASSERT_EQ(db.Table1.record_count(), 3);
  EXPECT_EQ(db.Table1.record_number(), 3);  // back as the last track, and the current one
  EXPECT_EQ(column(3, "TITLE"), "Title a");
  EXPECT_EQ(column(3, "MEMO"), "my notes");
  EXPECT_TRUE(db.Table1.field_by_name("C7").as_boolean());
  db.Table1.field_by_name("DATA").save_to_file(dir / "check.mp3");
  EXPECT_EQ(test::read_file(dir / "check.mp3"), audio);
  EXPECT_FALSE(form.UndoDelete1->isEnabled()) << "only the last deleted track comes back";
  EXPECT_TRUE(settle([&] { return form.TrackList1->model().rowCount() == 3; })) << "the list shows it again";

  // Once the library has closed, a deleted track is gone for good.
  go_to_record(db.Table1, 1);
  tracks.Delete2Click();
  ASSERT_TRUE(form.UndoDelete1->isEnabled());
  open_library();
  EXPECT_FALSE(form.UndoDelete1->isEnabled());
  tracks.UndoDelete1Click();
  EXPECT_EQ(db.Table1.record_count(), 2);
  EXPECT_TRUE(errors.isEmpty());
  for (const auto& entry : fs::directory_iterator(temporary_track_path().parent_path()))
    EXPECT_EQ(entry.path().filename().string().find("vemla-deleted"), std::string::npos) << "kept audio left";
}

// Qt's placeholders in a name ("%1", or "%2F" of a name copied from a web address) are shown as they are.
TEST_F(TrackCommandsTest, APercentInANameIsShownAsItIs) {
  const fs::path folder = dir / "percent";
  fs::create_directories(folder);
  test::create_library(folder, "Mix %1");
  Table categories("Mix %11.db");
  categories.set_location(folder);
  categories.open();
  categories.append();
  categories.field_by_name("READONLY").set_boolean(true);
  categories.post();
  categories.close();
  ASSERT_TRUE(program.library.open_library_file(qpath(folder / "Mix %1.mb")));
  tracks.import_paths({qpath(track_file(dir / "music" / "a.mp3"))});
  ASSERT_TRUE(work_ended());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains("Mix %1.db")) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].endsWith("0 files were added before the import stopped.")) << errors[0].toStdString();
}

TEST_F(TrackCommandsTest, EngineErrorEndsImportWithItsMessage) {
  const fs::path music = dir / "music";
  track_file(music / "a.mp3");
  track_file(music / "b.mp3");
  db.Table3.set_location(dir / "lib");
  db.Table3.set_table_name("Lib1.db");
  db.Table3.open();
  db.Table3.append();
  db.Table3.field_by_name("READONLY").set_boolean(true);
  db.Table3.post();
  db.Table3.close();
  open_library();
  ASSERT_TRUE(db.Table1.read_only());

  tracks.import_paths({qpath(music)});
  ASSERT_TRUE(work_ended());
  EXPECT_EQ(db.Table1.record_count(), 0);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].endsWith("0 files were added before the import stopped.")) << errors[0].toStdString();
  EXPECT_TRUE(messages.texts.isEmpty());
  EXPECT_TRUE(form.Import1->isEnabled());
}

TEST_F(TrackCommandsTest, OversizedTagPartsArePassedOverAndTheTrackAdded) {
  open_library();
  fs::create_directories(dir / "music");
  const fs::path file = test::copy_track(test::layer3_file(), dir / "music" / "big.mp3");
  test::prepend_id3v2(file, 4, 0,
                      test::id3v2_frame(4, "TIT2", test::syncsafe((1u << 28) - 1) + test::zlib_of("x"), 0x09) +
                          test::id3v2_frame(4, "TPE1", test::latin1_text("Artist")));
  tracks.import_paths({qpath(file)});
  ASSERT_TRUE(work_ended());
  EXPECT_EQ(column(1, "ARTIST"), "Artist");
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].startsWith("These files were added, but parts of their tags were passed over:"));
  EXPECT_TRUE(messages.texts[0].contains("frame TIT2 (268.4 MB unpacked)")) << messages.texts[0].toStdString();
  EXPECT_EQ(form.RzStatusBar1->currentMessage(), "1 track added");
}

}  // namespace
}  // namespace vemla
