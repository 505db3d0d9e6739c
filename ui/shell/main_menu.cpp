// The main window's menu bar: captions, access keys, separators, hints and help contexts. Every item starts
// disabled; TForm1::connect_handlers enables those whose handlers exist.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "look.h"
#include "main_window.h"

namespace vemla {

namespace {

QAction* item(QWidget* owner, QMenu* menu, const char* name, const QString& caption, const QString& hint_text = {}) {
  auto* action = named(new QAction(caption, owner), name);
  if (!hint_text.isEmpty()) {
    action->setToolTip(hint_text);
    action->setStatusTip(hint_text);
  }
  action->setEnabled(false);
  if (menu) menu->addAction(action);
  return action;
}

QMenu* menu(QMenuBar* bar, const char* name, const QString& caption, const QString& hint_text = {}) {
  auto* result = named(bar->addMenu(caption), name);
  if (!hint_text.isEmpty()) {
    result->menuAction()->setStatusTip(hint_text);
    result->menuAction()->setToolTip(hint_text);
  }
  result->setToolTipsVisible(true);
  return result;
}

}  // namespace

void TForm1::build_menu_bar() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  Database1 = menu(bar, "Database1", QStringLiteral("&Database"), QStringLiteral("Database functions"));
  help_context(Database1, 80);
  Open1 = item(this, Database1, "Open1", QStringLiteral("&Open"), QStringLiteral("Open a database"));
  Move1 = item(this, Database1, "Move1", QStringLiteral("&Move"), QStringLiteral("Move a database"));
  Copy1 = item(this, Database1, "Copy1", QStringLiteral("&Copy"), QStringLiteral("Copy a database"));
  Delete1 = item(this, Database1, "Delete1", QStringLiteral("&Delete"), QStringLiteral("Remove a database"));
  New1 = item(this, Database1, "New1", QStringLiteral("&New"), QStringLiteral("Create a new database"));
  Database1->addSeparator();
  Exit1 = item(this, Database1, "Exit1", QStringLiteral("E&xit"), QStringLiteral("Leave the program"));

  MPEG1 = menu(bar, "MPEG1", QStringLiteral("&Track"), QStringLiteral("Funcions related to the MPEG-file"));
  Import1 = item(this, MPEG1, "Import1", QStringLiteral("&Add"), QStringLiteral("Add MPEG to the database"));
  Export1 = item(this, MPEG1, "Export1", QStringLiteral("&Export"),
                 QStringLiteral("Copy the MPEG from database to disk"));
  fix1 = item(this, MPEG1, "fix1", QStringLiteral("&Fix MPEG into database"),
              QStringLiteral("Fix the MPEG's in the database"));
  Loudness1 = named(MPEG1->addMenu(QStringLiteral("Analyse &Loudness")), "Loudness1");
  Loudness1->menuAction()->setStatusTip(QStringLiteral("Measure how loud tracks are and keep their ReplayGain"));
  Loudness1->menuAction()->setToolTip(Loudness1->menuAction()->statusTip());
  Loudness1->menuAction()->setEnabled(false);
  Loudness1->setToolTipsVisible(true);
  LoudnessTrack1 = item(this, Loudness1, "LoudnessTrack1", QStringLiteral("&Current Track"),
                        QStringLiteral("Measure this track with the other tracks of its album"));
  LoudnessAll1 = item(this, Loudness1, "LoudnessAll1", QStringLiteral("&All Tracks"),
                      QStringLiteral("Measure every track of the database"));
  MPEG1->addSeparator();
  Delete2 = item(this, MPEG1, "Delete2", QStringLiteral("&Delete "), QStringLiteral("remove this track"));
  UndoDelete1 = item(this, MPEG1, "UndoDelete1", QStringLiteral("&Undo Delete"),
                     QStringLiteral("take back the last deleted track"));
  MPEG1->addSeparator();
  Options1 = item(this, MPEG1, "Options1", QStringLiteral("&Options"), QStringLiteral("General options"));
  Info1 = item(this, MPEG1, "Info1", QStringLiteral("&Info"), QStringLiteral("info on this track"));

  // "&Memo" and "&Category" are items of the bar itself, without a menu of their own.
  Memo1 = item(this, nullptr, "Memo1", QStringLiteral("&Memo"));
  bar->addAction(Memo1);
  Category1 = item(this, nullptr, "Category1", QStringLiteral("&Category"));
  bar->addAction(Category1);

  View1 = menu(bar, "View1", QStringLiteral("&View"));
  ViewTrackList = item(this, View1, "ViewTrackList", QStringLiteral("&Track List"),
                       QStringLiteral("Show or hide the list of every track"));
  ViewTrackList->setCheckable(true);
  ViewTrackList->setShortcut(QKeySequence(Qt::Key_F9));
  addAction(ViewTrackList);  // F9 works while the menu is hidden too
  View1->menuAction()->setVisible(false);

  Help1 = menu(bar, "Help1", QStringLiteral("&Help"));
  help_context(Help1, 160);
  ShowHint1 = item(this, Help1, "ShowHint1", QStringLiteral("Show&Hints"));
  ShowHint1->setCheckable(true);
  ShowHint1->setChecked(true);
  Help1->addSeparator();
  General1 = item(this, Help1, "General1", QStringLiteral("&General"));
  QuickStart1 = item(this, Help1, "QuickStart1", QStringLiteral("Quick Start"));

  About1 = menu(bar, "About1", QStringLiteral("&About"));
  Vemla1 = item(this, About1, "Vemla1", QStringLiteral("&Vemla"));
  VisitKorvane1 = item(this, About1, "VisitKorvane1", QStringLiteral("&Visit Korvane"));
  SendemailtoKorvane1 = item(this, About1, "SendemailtoKorvane1", QStringLiteral("&Send email to Korvane"));
}

}  // namespace vemla
