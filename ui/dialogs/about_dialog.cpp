#include "about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "library_versions.h"
#include "look.h"

namespace vemla {

namespace {

constexpr int kPictureSize = 96;

QString versions_text() {
  QStringList lines{QStringLiteral("Runs on:")};
  for (const LibraryVersion& library : library_versions())
    lines << QStringLiteral("    ") + library.name + QLatin1Char(' ') + library.version;
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

TForm11::TForm11(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm11"));
  setWindowTitle(QStringLiteral("About"));

  ProgramIcon = named(new QLabel(this), "ProgramIcon");
  ProgramIcon->setPixmap(vemla_icon().pixmap(QSize(kPictureSize, kPictureSize), devicePixelRatioF()));
  ProgramIcon->setFixedSize(kPictureSize, kPictureSize);
  ProgramIcon->setAccessibleName(QStringLiteral("Vemla's picture"));

  ProductName = named(new QLabel(QStringLiteral("Vemla"), this), "ProductName");
  QFont big = ProductName->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  ProductName->setFont(big);
  Version = named(new QLabel(QStringLiteral("Version"), this), "Version");
  Copyright = named(new QLabel(QStringLiteral("A music library and player by Korvane"), this), "Copyright");
  Comments = named(new QLabel(versions_text(), this), "Comments");
  Comments->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  OKButton = named(buttons->button(QDialogButtonBox::Ok), "OKButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->addWidget(ProductName);
  texts->addWidget(Version);
  texts->addSpacing(6);
  texts->addWidget(Copyright);
  texts->addSpacing(6);
  texts->addWidget(Comments);
  texts->addStretch();
  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(ProgramIcon, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

TForm11::~TForm11() = default;

}  // namespace vemla
