// vemla-screenshots: renders the program's windows into PNG files, with a small library open and its first
// track playing (on the silent `null` device, in real time), for looking at the windows without a display
// (QT_QPA_PLATFORM=offscreen; the scale from QT_SCALE_FACTOR). The library is made from the tracks named on
// the command line when it is missing.
#include <CLI/CLI.hpp>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>

#include "about_dialog.h"
#include "add_dialog.h"
#include "category_dialog.h"
#include "data.h"
#include "folder_lists.h"
#include "help_pages.h"
#include "help_window.h"
#include "info_dialog.h"
#include "last_library.h"
#include "library_files.h"
#include "look.h"
#include "main_window.h"
#include "memo_window.h"
#include "move_dialog.h"
#include "new_library_dialog.h"
#include "null_device.h"
#include "options_dialog.h"
#include "playlist.h"
#include "please_window.h"
#include "program.h"
#include "rows.h"
#include "schema.h"
#include "track_facts.h"
#include "track_import.h"

namespace vemla {
namespace {

namespace fs = std::filesystem;

// "file|title|artist|album|categories", the categories as numbers separated by commas.
struct DemoTrack {
  std::string file, title, artist, album;
  std::vector<int> categories;
};

DemoTrack parse_track(const std::string& text) {
  DemoTrack track;
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == '|') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  parts.resize(5);
  track.file = parts[0];
  track.title = parts[1];
  track.artist = parts[2];
  track.album = parts[3];
  std::string number;
  for (char c : parts[4] + ",") {
    if (c == ',') {
      if (!number.empty()) track.categories.push_back(std::stoi(number));
      number.clear();
    } else {
      number += c;
    }
  }
  return track;
}

void make_library(const fs::path& folder, const std::string& base, const std::vector<DemoTrack>& tracks) {
  const LibraryTables names = library_tables(base);
  Table table(names.tracks);
  table.set_location(folder);
  table.create_table(track_columns());
  table.set_field_order(track_field_order());
  table.open();
  for (const DemoTrack& track : tracks) {
    // Added as "Add" adds a file, then given the texts and categories a user would.
    if (!import_track(table, fs::absolute(track.file), false).added()) continue;
    table.edit();
    set(table, TrackTable::title, track.title);
    set(table, TrackTable::artist, track.artist);
    set(table, TrackTable::album, track.album);
    set(table, TrackTable::memo, "Made for the screenshots from a generated test signal.");
    for (int k : track.categories) set(table, TrackTable::category(k), true);
    table.post();
  }
  Table categories(names.categories);
  categories.set_location(folder);
  categories.create_table(category_columns());
  categories.open();
  categories.append();
  const char* category_names[] = {"Rock", "Jazz", "Classical", "Ambient", "Folk", "Live", "Favourites"};
  for (int k = 0; k < 7; ++k) set(categories, CategoryTable::name(k + 1), category_names[k]);
  categories.post();
}

void use_dark_palette() {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const std::pair<QPalette::ColorRole, QColor> colours[] = {
      {QPalette::Window, QColor(45, 45, 48)},        {QPalette::WindowText, QColor(230, 230, 230)},
      {QPalette::Base, QColor(30, 30, 32)},          {QPalette::AlternateBase, QColor(45, 45, 48)},
      {QPalette::Text, QColor(230, 230, 230)},       {QPalette::Button, QColor(55, 55, 58)},
      {QPalette::ButtonText, QColor(230, 230, 230)}, {QPalette::ToolTipBase, QColor(60, 60, 64)},
      {QPalette::ToolTipText, QColor(230, 230, 230)}, {QPalette::Highlight, QColor(42, 130, 218)},
      {QPalette::HighlightedText, Qt::white},        {QPalette::PlaceholderText, QColor(150, 150, 150)},
      {QPalette::Light, QColor(90, 90, 95)},         {QPalette::Midlight, QColor(70, 70, 74)},
      {QPalette::Mid, QColor(100, 100, 105)},        {QPalette::Dark, QColor(20, 20, 22)},
      {QPalette::Shadow, QColor(10, 10, 10)}};
  QPalette dark;
  for (const auto& [role, colour] : colours) dark.setColor(role, colour);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    dark.setColor(QPalette::Disabled, role, QColor(127, 127, 127));
  QApplication::setPalette(dark);
}

// Opens the library as the window does and plays its first track until two seconds have been heard.
bool play_first_track(Program& program, const fs::path& folder, const std::string& base) {
  const fs::path store = folder / (base + ".mb");
  if (!program.library.open_library_file(QString::fromStdString(store.string()))) return false;
  program.player_control.PlayClick();
  QElapsedTimer waited;
  waited.start();
  const auto run_events = [](int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  };
  while (program.player_control.position_us() < 2'000'000) {
    if (program.player_control.player_state() != Playing || waited.elapsed() > 20'000) return false;
    run_events(20);
  }
  run_events(150);  // the displays follow within a tenth of a second
  return true;
}

// Handles events until ready() holds (the folder lists fill in the background), and a little longer for the
// rows that follow; at most a few seconds.
void settle(const std::function<bool()>& ready) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 3000 && !ready()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  const qint64 until = timer.elapsed() + 300;
  while (timer.elapsed() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Writes the window into OUT/NAME-SUFFIX.png and names the file; false when it cannot be written.
bool save(QWidget& window, const fs::path& out, const std::string& name, const std::string& suffix) {
  window.show();
  QApplication::processEvents();
  const fs::path file = out / (name + "-" + suffix + ".png");
  if (!window.grab().save(QString::fromStdString(file.string()))) {
    std::cerr << "vemla-screenshots: cannot write " << file << '\n';
    return false;
  }
  std::cout << file.string() << '\n';
  return true;
}

// The shell's dialogs as they look over the open library: the options, the category names, the memo, About and
// the help window at its quick start.
bool save_shell_windows(TForm1& window, Tdb& data, const fs::path& out, const std::string& suffix) {
  TForm2 options(data, &window);
  TForm3 categories(data, &window);
  TForm9 memo(data, &window);
  TForm11 about(&window);
  about.Version->setText(QStringLiteral("Version 1.25"));
  HelpWindow help(&window);
  help.Browser->setSource(help_page(kMainWindowHelp));
  bool saved = true;
  for (const auto& [dialog, name] : {std::pair<QWidget*, const char*>{&options, "options"}, {&categories, "categories"},
                                     {&memo, "memo"}, {&about, "about"}, {&help, "help"}}) {
    saved = save(*dialog, out, name, suffix) && saved;
    dialog->hide();
  }
  return saved;
}

// The library and track dialogs as the user meets them: "New" in the library's folder, "Copy/Move" with the
// library chosen, the "Please" window half way, "Add to Base" with two files marked, "MPEG Info" on the
// first track.
bool render_library_dialogs(TForm1& window, Tdb& data, const fs::path& out, const std::string& suffix,
                            const fs::path& library_folder) {
  const QString folder = QString::fromStdString(library_folder.string());
  bool saved = true;

  TForm5 create(&window);
  create.show();
  create.DirectoryListBox1->set_folder(folder);
  create.Edit1->setText(QStringLiteral("Evening Set"));
  settle([] { return false; });
  saved &= save(create, out, "new", suffix);
  create.hide();

  TForm6 move(&window);
  move.prepare(false);
  move.show();
  move.DirectoryListBox1->set_folder(folder);
  settle([&] { return !move.FileListBox1->names().isEmpty(); });
  move.FileListBox1->mark(move.FileListBox1->names().constFirst());
  saved &= save(move, out, "copymove", suffix);
  move.hide();

  TForm7 please(&window);
  please.begin(QStringLiteral("Copying Demo"));
  please.set_progress(40, 100);
  settle([] { return false; });
  saved &= save(please, out, "please", suffix);
  please.end();

  data.Table1.first();
  const fs::path tracks_folder = fs::path(get(data.Table1, TrackTable::pad)).parent_path();
  TForm8 add(data, &window);
  add.show();
  add.DirectoryListBox1->set_folder(QString::fromStdString(tracks_folder.string()));
  settle([&] { return add.FileListBox1->names().size() > 1; });
  const QStringList names = add.FileListBox1->names();
  if (names.size() > 1) {
    add.FileListBox1->mark(names[0]);
    add.FileListBox1->mark(names[1], true);
  }
  add.Label1->setText(QString::fromStdString(time_text(get(data.Table1, TrackTable::tracktotal) / 1000)));
  saved &= save(add, out, "add", suffix);
  add.hide();

  TForm4 info(data, &window);
  info.show();
  settle([] { return false; });
  saved &= save(info, out, "info", suffix);
  info.hide();
  return saved;
}

int run(int argc, char** argv) {
  CLI::App app{"Renders Vemla's windows into PNG files."};
  std::string out, suffix = "1x", library;
  std::vector<std::string> track_texts;
  bool dark = false;
  app.add_option("out", out, "folder for the PNG files")->required();
  app.add_option("--suffix", suffix, "ends each file name: main-SUFFIX.png");
  app.add_option("--library", library, "FOLDER/NAME of the library to show; made from --track when missing")
      ->required();
  app.add_option("--track", track_texts, "FILE|TITLE|ARTIST|ALBUM|CATEGORIES for a new library");
  app.add_flag("--dark", dark, "a dark palette");
  CLI11_PARSE(app, argc, argv);

  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
  QCoreApplication::setApplicationName(QStringLiteral("Vemla Version 1.25"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Vemla"));
  if (dark) use_dark_palette();

  const fs::path library_path(library);
  const fs::path folder = library_path.parent_path();
  const std::string base = library_path.filename().string();
  const LibraryTables names = library_tables(base);
  if (!fs::exists(folder / names.tracks)) {
    std::vector<DemoTrack> demo_tracks;
    for (const std::string& text : track_texts) demo_tracks.push_back(parse_track(text));
    make_library(folder, base, demo_tracks);
  }

  Program program(std::make_unique<NullDevice>(1.0));
  program.data_module.Table2.open();
  TForm1& window = program.form1;
  window.show();
  if (!play_first_track(program, folder, base)) {
    std::cerr << "vemla-screenshots: the first track of " << library << " does not play\n";
    return 1;
  }

  fs::create_directories(out);
  if (!save(window, out, "main", suffix)) return 1;
  {
    // Larger: the track list beside the panels, the cover picture in the left panel.
    const QSize normal = window.size();
    window.resize(normal + QSize(520, 240));
    settle([] { return false; });
    if (!save(window, out, "main-large", suffix)) return 1;
    window.resize(normal);
    settle([] { return false; });
  }
  bool shell_saved = save_shell_windows(window, program.data_module, out, suffix);
  // The options' "Sound" page, with the sound devices of this machine.
  program.form2.PageControl1->setCurrentWidget(program.sound_page->SoundPage);
  shell_saved = save(program.form2, out, "options-sound", suffix) && shell_saved;
  program.form2.hide();
  {
    // The options' page that the desktop adds: reopening the last library.
    LastLibrary last(window, program.library, program.form2);
    program.form2.PageControl1->setCurrentIndex(program.form2.PageControl1->count() - 1);
    shell_saved = save(program.form2, out, "options-start", suffix) && shell_saved;
    program.form2.hide();
  }
  return render_library_dialogs(window, program.data_module, out, suffix, folder) && shell_saved ? 0 : 1;
}

}  // namespace
}  // namespace vemla

int main(int argc, char** argv) {
  try {
    return vemla::run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "vemla-screenshots: " << error.what() << '\n';
    return 1;
  }
}
