// A whole desktop program for the window suites: a null sound device at a high speed, the settings table
// open, a temporary folder, and the user's messages and error boxes caught instead of shown. Modal dialogs
// are answered through the controllers' UserDialogs.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

#include "error_box.h"
#include "notifier.h"
#include "null_device.h"
#include "program.h"
#include "support.h"
#include "user_dialogs.h"

namespace vemla::test {

class CaughtMessages final : public Notifier {
 public:
  void notify(std::string_view, std::string_view text, MessageIcon) override {
    texts << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  }
  QStringList texts;
};

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    set_error_handler([this](const QString& text) { errors << text; });
    set_notifier(&messages);
    program.data_module.Table2.open();
  }
  ~ProgramTest() override { set_error_handler({}); }

  // Waits, with events handled, until the condition holds; false after a generous deadline.
  template <typename F>
  static bool settle(F condition) {
    return QTest::qWaitFor(condition, 30000);
  }

  // The next modal dialogs are shown without a loop of their own and answered by `act`, which presses
  // their buttons; their result is what the buttons made it.
  static void answer(UserDialogs& dialogs, std::function<void(QDialog&)> act) {
    dialogs.run = [act](QDialog& dialog) {
      dialog.setResult(QDialog::Rejected);
      dialog.show();
      act(dialog);
      const int result = dialog.result();
      dialog.hide();
      return result;
    };
  }

  // Files dropped on the main window (or a control in it), as the desktop delivers them.
  void drop(const QStringList& paths, QWidget* on = nullptr) {
    QWidget* target = on ? on : &program.form1;
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint where = target->rect().center();
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent dropped(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    QCoreApplication::processEvents();
  }

  static QString qpath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

  TempDir dir;
  CaughtMessages messages;
  QStringList errors;
  Program program{std::make_unique<NullDevice>(500)};
};

}  // namespace vemla::test
