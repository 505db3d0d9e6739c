// How the controllers put questions to the user: modal dialogs, the open and save dialogs, a yes-or-no
// question. The program shows real dialogs; tests replace the calls to answer them without a nested loop.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>

#include "notifier.h"

class QDialog;
class QWidget;

namespace vemla {

// What a file dialog asks for: its title, filter ("" for none), start folder and file name, and the
// caption of its accept button when that is not "Open" or "Save".
struct FileRequest {
  QString title;
  QString filter;
  QString folder;
  QString file;
  bool save = false;
  bool choose_folder = false;  // a folder is chosen, not a file
  int help_context = 0;
  QString accept_label;
};

struct UserDialogs {
  // Shows the dialog modally; its result (QDialog::Accepted or Rejected).
  std::function<int(QDialog&)> run;
  // The chosen file's path, or empty when the user cancelled.
  std::function<QString(QWidget* parent, const FileRequest&)> choose_file;
  // True when the user answers the question with Yes.
  std::function<bool(QWidget* parent, const QString& question)> confirm;

  // The program's: exec(), QFileDialog, QMessageBox.
  UserDialogs();
};

// Where libraries are looked for and made first: the user's music folder, subfolder "VemlaLib"; the music
// folder when that does not exist, the home folder when neither does.
QString default_library_folder();
// Where tracks are looked for first: the user's music folder, else the home folder.
QString music_folder();

// One message for the user in the program's message box (the notifier's), captioned with the program's name.
void tell_user(const QString& text, MessageIcon icon);

// A path the user chose, as the file system names it; and a file-system path as the user reads it.
std::filesystem::path local_path(const QString& path);
QString shown_path(const std::filesystem::path& path);

}  // namespace vemla
