// The "&Database" menu on a whole program: New with its dialog, Open with the open dialog (and a library that
// cannot be opened), Copy and Move with their dialog and the "Please be PATIENT...." window, Delete, the
// switch of the library controls, dropped libraries, the menu held while work runs, and a damaged audio file.
#include "library_commands.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QToolButton>

#include "data_controls.h"
#include "eliding_label.h"
#include "folder_lists.h"
#include "library_work.h"
#include "program_fixture.h"
#include "store_support.h"
#include "track_ops.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

class LibraryCommandsTest : public test::ProgramTest {
 protected:
  // A library with `titles` as its tracks, in a new subfolder of the test's folder.
  fs::path make_library(const std::string& folder, const std::string& base,
                        const std::vector<std::string>& titles) {
    const fs::path where = dir / folder;
    fs::create_directories(where);
    test::create_library(where, base);
    Table tracks(library_tables(base).tracks);
    tracks.set_location(where);
    tracks.open();
    for (const std::string& title : titles) test::append_track(tracks, title);
    return where / (base + ".mb");
  }

  bool library_files_exist(const fs::path& folder, const std::string& base) {
    return fs::exists(folder / (base + ".db")) && fs::exists(folder / (base + ".mb")) &&
           fs::exists(folder / (base + "1.db"));
  }

  // Answers the next move or copy dialog: the library `file`, the destination folder `to`.
  void choose_in_move_dialog(const fs::path& file, const fs::path& to, const QString& caption) {
    answer(library.dialogs(), [=, this](QDialog& dialog) {
      auto& form6 = static_cast<TForm6&>(dialog);
      EXPECT_EQ(form6.windowTitle(), caption);
      EXPECT_EQ(form6.focusWidget(), form6.FileListBox1);  // where the library is chosen
      EXPECT_FALSE(form6.BitBtn1->isEnabled());
      EXPECT_FALSE(form6.DirectoryListBox2->isEnabled() || form6.DriveComboBox2->isEnabled());
      form6.DirectoryListBox1->set_folder(qpath(file.parent_path()));
      const QString name = qpath(file.filename());
      ASSERT_TRUE(settle([&] { return form6.FileListBox1->names().contains(name); }));
      EXPECT_FALSE(form6.FileListBox1->names().contains(QStringLiteral("Other1.db")));
      ASSERT_TRUE(form6.FileListBox1->mark(name));
      EXPECT_EQ(form6.Label6->text(), qpath(file));
      EXPECT_EQ(form6.Label3->text(), qpath(file.parent_path()));
      EXPECT_TRUE(form6.DirectoryListBox2->isEnabled());
      form6.DirectoryListBox2->set_folder(qpath(to));
      EXPECT_EQ(form6.Label4->text(), qpath(to));
      EXPECT_TRUE(form6.BitBtn1->isEnabled());
      form6.BitBtn1->click();
    });
  }

  LibraryCommands& library = program.library;
  TForm1& form = program.form1;
  Tdb& db = program.data_module;
};

TEST_F(LibraryCommandsTest, NewCreatesAndOpensLibraryOnce) {
  library.set_library_controls(false);
  EXPECT_FALSE(form.GroupBox1->isEnabled() || form.Play->isEnabled() || form.RzDBLineEdit1->isEnabled());
  EXPECT_FALSE(form.MPEG1->menuAction()->isEnabled() || form.Move1->isEnabled() || form.Memo1->isEnabled());
  EXPECT_TRUE(form.New1->isEnabled() && form.Open1->isEnabled());

  bool ok_without_name = true;
  const auto create = [&](const QString& name) {
    answer(library.dialogs(), [&, name](QDialog& dialog) {
      auto& form5 = static_cast<TForm5&>(dialog);
      form5.DirectoryListBox1->set_folder(qpath(dir.path()));
      EXPECT_EQ(form5.Label2->text(), qpath(dir.path()));
      ok_without_name = form5.BitBtn2->isEnabled();
      form5.Edit1->setText(name);
      form5.BitBtn2->click();
    });
    library.New1Click();
  };
  create(QStringLiteral("Set"));
  EXPECT_FALSE(ok_without_name);
  EXPECT_TRUE(library_files_exist(dir.path(), "Set"));
  ASSERT_TRUE(db.Table1.is_open() && db.Table3.is_open());
  EXPECT_EQ(db.Table1.record_count(), 0);
  EXPECT_EQ(library.open_library_path(), qpath(dir / "Set.mb"));
  EXPECT_TRUE(form.GroupBox1->isEnabled() && form.Play->isEnabled() && form.MPEG1->menuAction()->isEnabled());
  EXPECT_TRUE(form.Move1->isEnabled() && form.Copy1->isEnabled() && form.Delete1->isEnabled());
  EXPECT_TRUE(form.Category1->isEnabled() && form.Memo1->isEnabled() && form.RzDBLineEdit1->isEnabled());

  // The name again (with the extension typed): nothing changes, and the status bar says why; OK seemed to
  // do nothing at all.
  test::append_track(db.Table1, "kept");
  create(QStringLiteral("Set.mb"));
  EXPECT_EQ(db.Table1.record_count(), 1);
  EXPECT_EQ(library.open_library_path(), qpath(dir / "Set.mb"));
  EXPECT_TRUE(errors.isEmpty() && messages.texts.isEmpty());
  EXPECT_TRUE(form.RzStatusBar1->currentMessage().contains("Set.mb exists already"))
      << form.RzStatusBar1->currentMessage().toStdString();

  // "Set1" would take Set's category names for its tracks: refused with the reason, not in silence.
  create(QStringLiteral("Set1"));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains("cannot be beside it")) << errors[0].toStdString();
  EXPECT_EQ(library.open_library_path(), qpath(dir / "Set.mb"));
  errors.clear();

  // Cancel changes nothing either.
  answer(library.dialogs(), [](QDialog& dialog) { static_cast<TForm5&>(dialog).BitBtn1->click(); });
  library.New1Click();
  EXPECT_EQ(library.open_library_path(), qpath(dir / "Set.mb"));
}

TEST_F(LibraryCommandsTest, OpenFollowsLibraryAndNamesWhyItFails) {
  // A library whose track holds its audio: the settings say so, and "Export" is offered.
  const fs::path stored = make_library("a", "Stored", {});
  {
    Table tracks("Stored.db");
    tracks.set_location(stored.parent_path());
    tracks.open();
    test::write_text(dir / "audio.bin", "not really audio");
    tracks.append();
    tracks.field_by_name("DATA").load_from_file(dir / "audio.bin");
    tracks.post();
  }
  set_storage(db.Table2, false);
  FileRequest asked;
  QString chosen = qpath(stored);
  library.dialogs().choose_file = [&](QWidget*, const FileRequest& request) {
    asked = request;
    return chosen;
  };
  library.Open1Click();
  EXPECT_EQ(asked.title, "Open a Database");
  EXPECT_EQ(asked.filter, "MPEG database (*.mb)");
  EXPECT_EQ(asked.help_context, 80);
  EXPECT_FALSE(asked.save);
  ASSERT_TRUE(db.Table1.is_open());
  EXPECT_TRUE(storage(db.Table2));
  EXPECT_TRUE(settle([&] { return form.Export1->isEnabled(); }));
  EXPECT_EQ(form.RzTrackBar1->maximum(), 1);
  EXPECT_TRUE(form.GroupBox3->isEnabled());

  // A library without its category-name table: one message naming it and the reason; the open library is
  // tried against it first and stays open.
  const fs::path broken = make_library("b", "Broken", {"x"});
  fs::remove(broken.parent_path() / "Broken1.db");
  chosen = qpath(broken);
  library.Open1Click();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(qpath(broken))) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].contains(QStringLiteral("Broken1.db"))) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].contains(QStringLiteral("stays open"))) << errors[0].toStdString();
  EXPECT_EQ(library.open_library_path(), qpath(stored));
  EXPECT_TRUE(db.Table1.is_open() && db.Table3.is_open());
  EXPECT_TRUE(form.GroupBox1->isEnabled() && form.Move1->isEnabled());

  // Cancel in the dialog changes nothing.
  chosen.clear();
  library.Open1Click();
  EXPECT_TRUE(db.Table1.is_open());
  EXPECT_EQ(errors.size(), 1);

  // With no library open, the one that fails leaves none open.
  library.Delete1Click();  // closes the open library (and, cancelled, deletes nothing)
  chosen = qpath(broken);
  library.Open1Click();
  ASSERT_EQ(errors.size(), 2);
  EXPECT_FALSE(db.Table1.is_open() || db.Table3.is_open());
  EXPECT_TRUE(library.open_library_path().isEmpty());
  EXPECT_FALSE(form.GroupBox1->isEnabled() || form.Move1->isEnabled());
}

// A second start or a drop naming no library (mistyped, or an audio file) says so and keeps the open one.
TEST_F(LibraryCommandsTest, NoLibraryNamedKeepsTheOpenOne) {
  // Without a library open the message says no more than why.
  EXPECT_FALSE(library.open_library_file(qpath(dir / "none.mb")));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_FALSE(errors.back().contains("stays open")) << errors.back().toStdString();

  const fs::path file = make_library("lib", "Lib", {"one", "two"});
  ASSERT_TRUE(library.open_library_file(qpath(file)));
  db.Table1.next();
  for (const fs::path& named : {dir / "lib" / "Lbi.mb", dir / "lib" / "song.mp3"}) {
    const int told = static_cast<int>(errors.size());
    EXPECT_FALSE(library.open_library_file(qpath(named)));
    ASSERT_EQ(errors.size(), told + 1);
    EXPECT_TRUE(errors.back().startsWith(qpath(named))) << errors.back().toStdString();
    EXPECT_TRUE(errors.back().contains("Lib.mb stays open")) << errors.back().toStdString();
  }
  EXPECT_TRUE(db.Table1.is_open() && db.Table3.is_open());
  EXPECT_EQ(db.Table1.record_number(), 2);
  EXPECT_EQ(library.open_library_path(), qpath(file));
  EXPECT_TRUE(form.GroupBox1->isEnabled() && form.Move1->isEnabled());
}

TEST_F(LibraryCommandsTest, CopyAndMoveRunInThePleaseWindow) {
  const fs::path source = make_library("src", "Lib", {"one", "two"});
  make_library("src", "Other", {});
  const fs::path copies = dir / "copies";
  const fs::path moved = dir / "moved";
  fs::create_directories(copies);
  fs::create_directories(moved);
  ASSERT_TRUE(library.open_library_file(qpath(source)));

  choose_in_move_dialog(source, copies, QStringLiteral("Copy a database"));
  library.Copy1Click();
  EXPECT_FALSE(db.Table1.is_open());  // the open library was closed first
  EXPECT_FALSE(form.GroupBox1->isEnabled());
  EXPECT_EQ(form.RzLabel1->text(), QString());  // and its playlist with it
  ASSERT_TRUE(program.work.running());
  TForm7& please = program.form7;
  EXPECT_TRUE(please.isVisible());
  EXPECT_TRUE(please.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(please.Label1->text(), "Please be PATIENT....");
  EXPECT_EQ(please.Panel1->palette().color(QPalette::Window), QColor(0, 0, 255));
  EXPECT_EQ(please.Label1->palette().color(QPalette::WindowText), QColor(0, 255, 0));
  EXPECT_GE(please.width(), 296);
  EXPECT_GE(please.height(), 192);
  ASSERT_TRUE(settle([&] { return !program.work.running(); }));
  EXPECT_FALSE(please.isVisible());
  EXPECT_TRUE(library_files_exist(copies, "Lib") && library_files_exist(source.parent_path(), "Lib"));
  EXPECT_TRUE(form.RzStatusBar1->currentMessage().startsWith("Copied to"))
      << form.RzStatusBar1->currentMessage().toStdString();
  EXPECT_FALSE(db.Table1.is_open());
  EXPECT_TRUE(errors.isEmpty());

  // A library of that name in the destination is replaced only when the user says so.
  QString question;
  bool replace = false;
  library.dialogs().confirm = [&](QWidget*, const QString& text) {
    question = text;
    return replace;
  };
  choose_in_move_dialog(source, copies, QStringLiteral("Copy a database"));
  library.Copy1Click();
  EXPECT_TRUE(question.contains(QStringLiteral("Lib"))) << question.toStdString();
  EXPECT_FALSE(program.work.running());
  EXPECT_EQ(std::distance(fs::directory_iterator(copies), fs::directory_iterator()), 3);  // no scratch copies
  replace = true;
  choose_in_move_dialog(source, copies, QStringLiteral("Copy a database"));
  library.Copy1Click();
  ASSERT_TRUE(settle([&] { return !program.work.running(); }));
  EXPECT_TRUE(errors.isEmpty());

  // Move: the destination holds the library, the source is gone.
  question.clear();
  choose_in_move_dialog(source, moved, QStringLiteral("Move a database"));
  library.Move1Click();
  ASSERT_TRUE(settle([&] { return !program.work.running(); }));
  EXPECT_TRUE(question.isEmpty());
  EXPECT_TRUE(library_files_exist(moved, "Lib"));
  EXPECT_FALSE(fs::exists(source) || fs::exists(source.parent_path() / "Lib.db"));
  Table tracks("Lib.db");
  tracks.set_location(moved);
  tracks.open();
  EXPECT_EQ(tracks.record_count(), 2);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(LibraryCommandsTest, PleaseWindowCancelsAndOwnFolderIsRefused) {
  const fs::path source = make_library("src", "Lib", {"one"});
  const fs::path target = dir / "dst";
  fs::create_directories(target);

  // Cancel before the first step: nothing is copied.
  choose_in_move_dialog(source, target, QStringLiteral("Copy a database"));
  library.Copy1Click();
  ASSERT_TRUE(program.work.running());
  program.form7.BitBtn1->click();
  ASSERT_TRUE(settle([&] { return !program.work.running(); }));
  EXPECT_TRUE(fs::is_empty(target));
  EXPECT_TRUE(form.RzStatusBar1->currentMessage().contains("cancelled"));

  // The Escape key cancels a move as well; the source stays whole.
  choose_in_move_dialog(source, target, QStringLiteral("Move a database"));
  library.Move1Click();
  ASSERT_TRUE(program.work.running());
  program.form7.reject();
  EXPECT_TRUE(program.form7.isVisible());  // until the work has ended
  ASSERT_TRUE(settle([&] { return !program.work.running(); }));
  EXPECT_TRUE(library_files_exist(source.parent_path(), "Lib"));
  EXPECT_TRUE(fs::is_empty(target));

  // A move into the library's own folder would copy the tables onto themselves.
  choose_in_move_dialog(source, source.parent_path(), QStringLiteral("Move a database"));
  library.Move1Click();
  EXPECT_FALSE(program.work.running());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains("choose another destination")) << errors[0].toStdString();
  EXPECT_TRUE(library_files_exist(source.parent_path(), "Lib"));

  // Cancel in the dialog copies nothing (the library open before stays closed).
  ASSERT_TRUE(library.open_library_file(qpath(source)));
  answer(library.dialogs(), [](QDialog& dialog) { static_cast<TForm6&>(dialog).BitBtn2->click(); });
  library.Copy1Click();
  EXPECT_FALSE(program.work.running() || db.Table1.is_open());
}

// A copy that the name clash refuses must not first ask to replace: the user said Yes and was refused.
TEST_F(LibraryCommandsTest, ClashIsRefusedBeforeReplaceIsAsked) {
  const fs::path source = make_library("src", "Set1", {"one"});
  const fs::path target = make_library("dst", "Set", {"kept"}).parent_path();
  int asked = 0;
  library.dialogs().confirm = [&](QWidget*, const QString&) {
    ++asked;
    return true;
  };
  choose_in_move_dialog(source, target, QStringLiteral("Copy a database"));
  library.Copy1Click();
  EXPECT_FALSE(program.work.running());
  EXPECT_EQ(asked, 0);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(library_files_exist(target, "Set"));
  Table tracks("Set.db");
  tracks.set_location(target);
  tracks.open();
  EXPECT_EQ(tracks.record_count(), 1);
}

// A source library in use is refused before "Replace it?" as well, and the destination's library stays.
TEST_F(LibraryCommandsTest, SourceInUseIsRefusedBeforeReplaceIsAsked) {
  const fs::path source = make_library("src", "Lib", {"one"});
  const fs::path target = make_library("dst", "Lib", {"kept", "too"}).parent_path();
  Table holder("Lib.db");  // another program's hold on the source
  holder.set_location(source.parent_path());
  holder.open();
  set_lock_wait(std::chrono::milliseconds(100));
  int asked = 0;
  library.dialogs().confirm = [&](QWidget*, const QString&) {
    ++asked;
    return true;
  };
  choose_in_move_dialog(source, target, QStringLiteral("Move a database"));
  library.Move1Click();
  set_lock_wait(std::chrono::milliseconds(3000));
  EXPECT_FALSE(program.work.running());
  EXPECT_EQ(asked, 0);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains("in use")) << errors[0].toStdString();
  holder.close();
  Table tracks("Lib.db");
  tracks.set_location(target);
  tracks.open();
  EXPECT_EQ(tracks.record_count(), 2);
  EXPECT_TRUE(library_files_exist(source.parent_path(), "Lib"));
}

// Without a question, as ever; but the files go to the desktop's trash, from where the user can bring them
// back.
TEST_F(LibraryCommandsTest, DeleteRemovesPickedLibraryWithoutAsking) {
  const fs::path doomed = make_library("lib", "Doomed", {"one"});
  ASSERT_TRUE(library.open_library_file(qpath(doomed)));
  FileRequest asked;
  QString chosen = qpath(doomed);
  library.dialogs().choose_file = [&](QWidget*, const FileRequest& request) {
    asked = request;
    return chosen;
  };
  library.dialogs().confirm = [](QWidget*, const QString&) -> bool {
    ADD_FAILURE() << "asked";
    return false;
  };
  library.Delete1Click();
  EXPECT_EQ(asked.title, "Delete a Database");
  EXPECT_EQ(asked.accept_label, "Delete");
  EXPECT_FALSE(fs::exists(doomed) || fs::exists(doomed.parent_path() / "Doomed.db") ||
               fs::exists(doomed.parent_path() / "Doomed1.db"));
  const fs::path trash = fs::path(qgetenv("XDG_DATA_HOME").toStdString()) / "Trash" / "files";
  for (const char* file : {"Doomed.db", "Doomed.mb", "Doomed1.db"})
    EXPECT_TRUE(fs::exists(trash / file)) << file;
  EXPECT_EQ(form.RzStatusBar1->currentMessage(), QStringLiteral("Moved %1 to the trash").arg(qpath(doomed)));
  EXPECT_FALSE(db.Table1.is_open());
  EXPECT_FALSE(form.GroupBox1->isEnabled() || form.Delete1->isEnabled());
  EXPECT_TRUE(errors.isEmpty());

  // A library that is not there: the engine's message.
  library.set_library_controls(true);
  library.Delete1Click();
  EXPECT_EQ(errors.size(), 1);
}

// Work that goes on until it is cancelled.
class EndlessJob : public LibraryJob {
 public:
  Progress progress() const override { return {steps, 1000}; }
  int steps = 0;

 private:
  bool work(Deadline) override {
    ++steps;
    return true;
  }
};

TEST_F(LibraryCommandsTest, DroppedLibraryOpensAndWorkHoldsTheMenu) {
  const fs::path dropped = make_library("lib", "Dropped", {"one"});
  drop({qpath(dropped)});
  ASSERT_TRUE(settle([&] { return db.Table1.is_open(); }));
  EXPECT_EQ(library.open_library_path(), qpath(dropped));

  auto job = std::make_unique<EndlessJob>();
  EndlessJob* endless = job.get();
  bool ended = false;
  ASSERT_TRUE(program.work.start(std::move(job), QStringLiteral("Working"), nullptr,
                                 {nullptr, [&] { ended = true; }}));
  EXPECT_FALSE(program.work.start(std::make_unique<EndlessJob>(), QStringLiteral("More"), nullptr, {}));
  ASSERT_TRUE(settle([&] { return endless->steps > 2; }));
  for (QAction* item :
       {form.Open1, form.New1, form.Move1, form.Copy1, form.Delete1, form.Import1, form.fix1, form.Delete2})
    EXPECT_FALSE(item->isEnabled()) << item->objectName().toStdString();
  EXPECT_TRUE(program.work.cancel_button()->isVisible() || !form.isVisible());
  EXPECT_TRUE(form.RzStatusBar1->currentMessage().startsWith("Working:"));
  EXPECT_EQ(form.RzProgressBar1->maximum(), 1000);
  EXPECT_GT(form.RzProgressBar1->value(), 0);
  // No library is opened in the middle of the work; a dropped one is not pasted into the title either.
  EXPECT_FALSE(library.open_library_file(qpath(dropped)));
  drop({qpath(dropped)}, form.RzDBLineEdit1);
  ASSERT_TRUE(settle([&] { return messages.texts.size() == 2; }));
  EXPECT_TRUE(messages.texts[0].startsWith("The database is busy"));
  EXPECT_EQ(form.RzDBLineEdit1->text(), "one");

  program.work.cancel_button()->click();
  ASSERT_TRUE(settle([&] { return !program.work.running(); }));
  EXPECT_TRUE(ended);
  for (QAction* item :
       {form.Open1, form.New1, form.Move1, form.Copy1, form.Delete1, form.Import1, form.fix1, form.Delete2})
    EXPECT_TRUE(item->isEnabled()) << item->objectName().toStdString();
  EXPECT_EQ(form.RzProgressBar1->value(), 0);
}

TEST_F(LibraryCommandsTest, ClosingTheWindowEndsTheWork) {
  const fs::path file = make_library("lib", "Lib", {"one"});
  ASSERT_TRUE(library.open_library_file(qpath(file)));
  auto job = std::make_unique<EndlessJob>();
  EndlessJob* endless = job.get();
  bool told = false;
  ASSERT_TRUE(program.work.start(std::move(job), QStringLiteral("Working"), nullptr,
                                 {nullptr, [&] { told = true; }}));
  ASSERT_TRUE(settle([&] { return endless->steps > 0; }));
  form.show();
  form.close();
  EXPECT_FALSE(program.work.running());
  EXPECT_FALSE(told);  // nothing is asked of a window that is going
  EXPECT_TRUE(program.work.cancel_button()->isHidden());
}

TEST_F(LibraryCommandsTest, ReadOnlyLibraryKeepsItsCheckBoxDisabled) {
  const fs::path file = make_library("lib", "Locked", {"one"});
  {
    Table categories("Locked1.db");
    categories.set_location(file.parent_path());
    categories.open();
    categories.append();
    categories.field_by_name("READONLY").set_boolean(true);
    categories.post();
  }
  ASSERT_TRUE(library.open_library_file(qpath(file)));
  EXPECT_TRUE(db.Table1.read_only());
  EXPECT_TRUE(form.GroupBox1->isEnabled() && form.Play->isEnabled() && form.DBCheckBox2->isEnabled());
  EXPECT_FALSE(form.DBCheckBox1->isEnabled());  // SKIP of a track that cannot be changed
  library.set_library_controls(false);
  EXPECT_FALSE(form.DBCheckBox2->isEnabled() || form.RzDBLineEdit2->isEnabled() ||
               form.Category1->isEnabled());
}

TEST_F(LibraryCommandsTest, DamagedAudioFileOpensAndIsNamed) {
  const fs::path file = make_library("damaged", "Hurt", {"one", "two", "three"});
  {
    Table tracks("Hurt.db");
    tracks.set_location(file.parent_path());
    tracks.open();
    test::write_text(dir / "audio.mp3", std::string(40000, 'a'));
    for (tracks.first(); !tracks.at_end(); tracks.next()) {
      tracks.edit();
      tracks.field_by_name("DATA").load_from_file(dir / "audio.mp3");
      tracks.field_by_name("MEMO").set_text("memo");
      tracks.post();
    }
  }
  // The page holding the audio of every track overwritten.
  int page = 0;
  {
    SQLite::Database mb(file, SQLite::OPEN_READONLY);
    page = mb.execAndGet("SELECT rootpage FROM sqlite_master WHERE name='v0'").getInt();
  }
  {
    std::fstream mb(file, std::ios::in | std::ios::out | std::ios::binary);
    mb.seekp((page - 1) * 4096);
    mb << std::string(4096, '\xff');
  }
  // The tracks are whole in Hurt.db: the library opens, and the user learns which file is damaged.
  const auto name_the_audio_file = [this] {
    const bool named = std::all_of(errors.begin(), errors.end(),
                                   [](const QString& error) { return error.contains("Hurt.mb is damaged"); });
    errors.clear();
    return named;
  };
  ASSERT_TRUE(library.open_library_file(qpath(file)));
  EXPECT_EQ(db.Table1.record_count(), 3);
  EXPECT_EQ(form.RzDBLineEdit1->text(), "one");
  EXPECT_TRUE(name_the_audio_file());
  program.player_control.PlayClick();
  EXPECT_FALSE(errors.isEmpty());
  EXPECT_TRUE(name_the_audio_file());
  // Deleting reaches both files: the damaged one is named too, so that no whole file is replaced.
  program.tracks.Delete2Click();
  EXPECT_FALSE(errors.isEmpty());
  EXPECT_TRUE(name_the_audio_file());
  EXPECT_EQ(db.Table1.record_count(), 3);
}

}  // namespace
}  // namespace vemla
