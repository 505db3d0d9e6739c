#include "info_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "data.h"
#include "data_controls.h"
#include "look.h"
#include "track_ops.h"

namespace vemla {

TForm4::TForm4(Tdb& db, QWidget* parent) : QDialog(parent), db_(db) {
  setObjectName(QStringLiteral("TForm4"));
  setWindowTitle(QStringLiteral("MPEG Info"));
  help_context(this, 240);

  auto* facts = new QGridLayout;
  facts->setHorizontalSpacing(12);
  facts->setColumnStretch(1, 1);
  facts->setColumnStretch(3, 1);
  const auto pair = [&](QLabel*& value, const char* name, const char* caption, int row, int column) {
    auto* label = new QLabel(QString::fromLatin1(caption), this);
    value = named(new QLabel(this), name);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setAccessibleName(QString::fromLatin1(caption).chopped(1));
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("MPEG-2 (LSF")));
    label->setBuddy(value);
    facts->addWidget(label, row, column);
    facts->addWidget(value, row, column + 1);
  };
  pair(DBText1, "DBText1", "Code Version:", 0, 0);
  pair(DBText2, "DBText2", "Layer:", 1, 0);
  pair(DBText3, "DBText3", "Bitrate:", 2, 0);
  pair(DBText4, "DBText4", "Samplerate:", 3, 0);
  pair(DBText5, "DBText5", "Mode:", 4, 0);
  pair(DBText6, "DBText6", "Checksums:", 0, 2);
  pair(DBText7, "DBText7", "FrameTotal:", 1, 2);
  pair(Label11, "Label11", "Copyright:", 2, 2);
  pair(Label12, "Label12", "Original:", 3, 2);

  auto* file_caption = new QLabel(QStringLiteral("Original file and path:"), this);
  RzDBLineEdit1 = named(new DBLineEdit(this), "RzDBLineEdit1");
  RzDBLineEdit1->bind(db.data, TrackTable::pad);
  RzDBLineEdit1->setAccessibleName(QStringLiteral("Original file and path"));
  file_caption->setBuddy(RzDBLineEdit1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  BitBtn1 = named(buttons->button(QDialogButtonBox::Ok), "BitBtn1");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(facts);
  layout->addSpacing(6);
  layout->addWidget(file_caption);
  layout->addWidget(RzDBLineEdit1);
  layout->addStretch();
  layout->addWidget(buttons);
  resize(QSize(440, 0).expandedTo(sizeHint()));
}

TForm4::~TForm4() = default;

void TForm4::FormActivate() {
  TrackInfo info;
  Table& tracks = db_.Table1;
  if (tracks.is_open() && tracks.record_count() > 0) {
    try {
      info = track_info(tracks);
    } catch (const TableError&) {
      info = {};  // shown empty, as for a library without tracks
    }
  }
  const auto text = [](const std::string& value) { return QString::fromStdString(value); };
  DBText1->setText(text(info.version));
  DBText2->setText(text(info.layer));
  DBText3->setText(text(info.bitrate));
  DBText4->setText(text(info.samplerate));
  DBText5->setText(text(info.mode));
  DBText6->setText(QString::number(info.checksums));
  DBText7->setText(QString::number(info.frametotal));
  Label11->setText(QString::fromLatin1(yes_no(info.copyright)));
  Label12->setText(QString::fromLatin1(yes_no(info.original)));
}

void TForm4::showEvent(QShowEvent* event) {
  FormActivate();
  QDialog::showEvent(event);
  BitBtn1->setFocus();
}

}  // namespace vemla
