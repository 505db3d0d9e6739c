#include "memo_window.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "data.h"
#include "data_controls.h"
#include "error_box.h"
#include "look.h"

namespace vemla {

TForm9::TForm9(Tdb& db, QWidget* parent) : QDialog(parent), db_(db) {
  setObjectName(QStringLiteral("TForm9"));
  setWindowTitle(QStringLiteral("Memo"));
  setModal(false);

  DBMemo1 = named(new DBMemo(this), "DBMemo1");
  DBMemo1->bind(db_.data, TrackTable::memo);
  DBMemo1->setTabChangesFocus(false);
  DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  hint(DBMemo1, QStringLiteral("a memo on this track"));
  DBMemo1->setAccessibleName(QStringLiteral("a memo on this track"));

  Panel1 = named(new QFrame(this), "Panel1");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, Panel1);
  BitBtn1 = named(buttons->button(QDialogButtonBox::Close), "BitBtn1");
  hint(BitBtn1, QStringLiteral("Close the memo"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* panel = new QHBoxLayout(Panel1);
  panel->setContentsMargins(0, 0, 0, 0);
  panel->addWidget(buttons);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(DBMemo1, 1);
  layout->addWidget(Panel1);
  resize(399, 312);
}

TForm9::~TForm9() = default;

void TForm9::FormClose() {
  Table& tracks = db_.Table1;
  try {
    if (tracks.is_open()) tracks.post();
  } catch (const TableError& error) {
    show_error(this, QString::fromUtf8(error.what()));
  }
}

void TForm9::done(int result) {
  FormClose();
  QDialog::done(result);
}

}  // namespace vemla
