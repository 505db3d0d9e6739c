#include "shell.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>

#include "about_dialog.h"
#include "category_dialog.h"
#include "data.h"
#include "error_box.h"
#include "help_pages.h"
#include "help_window.h"
#include "hint_switch.h"
#include "library_commands.h"
#include "main_window.h"
#include "memo_window.h"
#include "notifier.h"
#include "options_dialog.h"
#include "player_control.h"
#include "playlist_control.h"
#include "rows.h"
#include "settings_recovery.h"
#include "track_commands.h"
#include "window_geometry.h"

namespace vemla {

Shell::Shell(TForm1& form, Tdb& db, PlayerControl& player, PlaylistControl& playlist, LibraryCommands& library,
             TrackCommands& tracks, TForm2& options, TForm3& categories, TForm11& about, TForm9& memo,
             QObject* parent)
    : QObject(parent),
      form_(form),
      db_(db),
      player_(player),
      playlist_(playlist),
      library_(library),
      tracks_(tracks),
      options_(options),
      categories_(categories),
      about_(about),
      memo_(memo),
      hints_(new HintSwitch(this)) {
  new HelpKey([this](int context) { show_help(context); }, this);
  const std::pair<QAction*, void (Shell::*)()> items[] = {
      {form_.ShowHint1, &Shell::ShowHint1Click},   {form_.General1, &Shell::General1Click},
      {form_.QuickStart1, &Shell::QuickStart1Click}, {form_.Vemla1, &Shell::Vemla1Click},
      {form_.VisitKorvane1, &Shell::VisitKorvane1Click},
      {form_.SendemailtoKorvane1, &Shell::SendemailtoKorvane1Click},
      {form_.Options1, &Shell::Options1Click},     {form_.Memo1, &Shell::Memo1Click},
      {form_.Category1, &Shell::Category1Click}};
  // "&Memo" and "&Category" need a library as well: the library controls switch them off and on.
  for (const auto& [action, handler] : items) {
    connect(action, &QAction::triggered, this, handler);
    action->setEnabled(true);
  }
  form_.installEventFilter(this);
  // A session that ends the program without closing the window still keeps what the closing keeps.
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
    if (activated_ && !closed_) FormClose();
  });
}

Shell::~Shell() {
  form_.removeEventFilter(this);
}

bool Shell::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &form_) {
    // The first showing stands for the first activation: the geometry is set before the window appears.
    if (event->type() == QEvent::Show) FormActivate();
    if (event->type() == QEvent::Close) FormClose();
  }
  return QObject::eventFilter(watched, event);
}

bool Shell::open_settings_table() {
  if (db_.Table2.is_open()) return true;
  try {
    if (const std::optional<SettingsRecovery> recovery = vemla::open_settings_table(db_.Table2)) {
      report_later(QStringLiteral("Vemla could not use its settings file:\n%1\n\nThe file has been kept as %2, and "
                                  "Vemla starts with its default settings.")
                       .arg(QString::fromStdString(recovery->problem),
                            QString::fromStdString(recovery->kept_as.string())),
                   false);
    }
    return true;
  } catch (const TableError& error) {
    report_later(QStringLiteral("Vemla cannot open its settings:\n%1\n\nIt goes on with the default settings, "
                                "and changes to them are not kept.")
                     .arg(QString::fromUtf8(error.what())),
                 true);
    return false;
  }
}

void Shell::report_later(const QString& text, bool error) {
  const std::string message = text.toStdString();
  QMetaObject::invokeMethod(
      this,
      [message, error] {
        notifier().notify("Vemla", message, error ? MessageIcon::Error : MessageIcon::Warning);
      },
      Qt::QueuedConnection);
}

void Shell::FormActivate() {
  if (activated_) return;
  activated_ = true;
  closed_ = false;
  registry_ = std::make_unique<QSettings>(QString::fromLatin1(kSettingsOrganisation),
                                          QString::fromLatin1(kSettingsApplication));
  apply_geometry(form_, read_geometry(*registry_));
  // A library opened before the window first showed (named on the command line) keeps its controls.
  if (!db_.Table1.is_open()) {
    library_.set_library_controls(false);
    // Until a library opens, only the Database menu works: where to begin, for a first start.
    form_.RzStatusBar1->showMessage(QStringLiteral("No database open: use Database > New or Open"));
  }
  open_settings_table();
  set_hints(stored_hints());
  tracks_.update_export_item();
  for (int i = 0; i < form_.RzCheckList1->count(); ++i) {
    QListWidgetItem* item = form_.RzCheckList1->item(i);
    item->setFlags(item->flags() | Qt::ItemIsEnabled);
  }
  Player& player = player_.player();
  if (!player.run_open()) player.set_player_state(PlayerState::Stopped);
}

void Shell::FormClose() {
  closed_ = true;
  if (registry_) {
    write_geometry(*registry_, form_);
    registry_.reset();
  }
  if (db_.Table1.is_open()) player_.StopClick();
  player_.delete_temporary_file();
  for (Table* table : {&db_.Table1, &db_.Table3, &db_.Table2}) close_table(*table);
}

void Shell::close_table(Table& table) {
  if (!table.is_open()) return;
  try {
    table.refresh();
  } catch (const TableError& error) {
    // The window is closing: a box that did not wait would go with it unread.
    show_error_and_wait(&form_, QString::fromUtf8(error.what()));
  }
  try {
    table.close();
  } catch (const TableError&) {
    // The edit that could not be posted was reported above; the window closes all the same.
    table.cancel();
    table.close();
  }
}

bool Shell::stored_hints() {
  try {
    if (db_.Table2.is_open()) return get(db_.Table2, SettingsTable::hints);
  } catch (const TableError&) {
  }
  return true;
}

void Shell::set_hints(bool on) {
  hints_->set_on(on);
  form_.ShowHint1->setChecked(on);
  if (!on) form_.statusBar()->clearMessage();
}

void Shell::ShowHint1Click() {
  const bool on = !hints_->on();
  set_hints(on);
  Table& settings = db_.Table2;
  if (!settings.is_open()) return;
  try {
    write_setting(settings, SettingsTable::hints, on);
  } catch (const TableError& error) {
    show_error(&form_, QString::fromUtf8(error.what()));
  }
}

HelpWindow& Shell::help_window() {
  if (!help_) help_ = new HelpWindow(&form_);
  return *help_;
}

void Shell::show_help(int context) {
  help_window().show_context(context);
}

void Shell::General1Click() {
  show_help(kGeneralHelp);
}

void Shell::QuickStart1Click() {
  show_help(kMainWindowHelp);
}

void Shell::Vemla1Click() {
  about_.Version->setText(QStringLiteral("Version 1.25"));
  about_.exec();
}

void Shell::VisitKorvane1Click() {
  QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerPage)));
}

void Shell::SendemailtoKorvane1Click() {
  QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerMail)));
}

void Shell::Options1Click() {
  options_.exec();
  tracks_.update_export_item();
}

void Shell::Memo1Click() {
  memo_.show();
  memo_.raise();
  memo_.activateWindow();
}

void Shell::Category1Click() {
  categories_.exec();
  playlist_.refresh_category_captions();
}

}  // namespace vemla
