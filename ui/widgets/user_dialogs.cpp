#include "user_dialogs.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStandardPaths>

#include "look.h"
#include "message_boxes.h"

namespace vemla {

namespace {

QString choose_with_dialog(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, request.title, request.folder, request.filter);
  help_context(&dialog, request.help_context);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.choose_folder ? QFileDialog::Directory
                     : request.save ? QFileDialog::AnyFile
                                    : QFileDialog::ExistingFile);
  if (request.choose_folder) dialog.setOption(QFileDialog::ShowDirsOnly);
  if (!request.accept_label.isEmpty()) dialog.setLabelText(QFileDialog::Accept, request.accept_label);
  if (!request.file.isEmpty()) dialog.selectFile(request.file);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

bool ask(QWidget* parent, const QString& question) {
  return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(),
                               with_long_words_elided(question), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace

UserDialogs::UserDialogs()
    : run([](QDialog& dialog) { return dialog.exec(); }), choose_file(choose_with_dialog), confirm(ask) {}

QString default_library_folder() {
  const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (!music.isEmpty()) {
    const QString library = QDir(music).filePath(QStringLiteral("VemlaLib"));
    if (QFileInfo(library).isDir()) return library;
    if (QFileInfo(music).isDir()) return music;
  }
  return QDir::homePath();
}

QString music_folder() {
  const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  return !music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath();
}

void tell_user(const QString& text, MessageIcon icon) {
  notifier().notify(QGuiApplication::applicationDisplayName().toStdString(), text.toStdString(), icon);
}

std::filesystem::path local_path(const QString& path) {
  return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString shown_path(const std::filesystem::path& path) {
  return QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path.string())));
}

}  // namespace vemla
