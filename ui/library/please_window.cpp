#include "please_window.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "look.h"

namespace vemla {

namespace {

const QColor kLime(0x00, 0xff, 0x00);
const QColor kBlue(0x00, 0x00, 0xff);

}  // namespace

TForm7::TForm7(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("TForm7"));
  setWindowTitle(QStringLiteral("Please be PATIENT...."));
  setWindowModality(Qt::ApplicationModal);

  Panel1 = named(new QFrame(this), "Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(2);
  QPalette blue = Panel1->palette();
  blue.setColor(QPalette::Window, kBlue);
  blue.setColor(QPalette::WindowText, kLime);
  Panel1->setPalette(blue);
  Panel1->setAutoFillBackground(true);

  Label1 = named(new QLabel(QStringLiteral("Please be PATIENT...."), Panel1), "Label1");
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(27);
  Label1->setFont(font);
  Label1->setAlignment(Qt::AlignCenter);
  auto* shadow = new QGraphicsDropShadowEffect(Label1);
  shadow->setOffset(2, 2);
  shadow->setBlurRadius(0);
  shadow->setColor(Qt::black);
  Label1->setGraphicsEffect(shadow);

  ProgressBar1 = named(new QProgressBar(Panel1), "ProgressBar1");
  ProgressBar1->setRange(0, 1000);
  ProgressBar1->setValue(0);
  ProgressBar1->setFormat(QStringLiteral("%p%"));
  ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
  // The bar and the button keep the palette's own colours, readable in light and dark palettes alike.
  ProgressBar1->setPalette(palette());
  BitBtn1 = named(new QPushButton(theme_icon("process-stop", QStyle::SP_DialogCancelButton),
                                  QStringLiteral("&Cancel"), Panel1),
                  "BitBtn1");
  BitBtn1->setPalette(palette());
  hint(BitBtn1, QStringLiteral("Stop; nothing is changed"));
  connect(BitBtn1, &QPushButton::clicked, this, &TForm7::cancel_requested);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BitBtn1);
  auto* inside = new QVBoxLayout(Panel1);
  inside->setContentsMargins(12, 12, 12, 12);
  inside->addWidget(Label1, 1);
  inside->addWidget(ProgressBar1);
  inside->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Panel1);

  setMinimumSize(QSize(296, 192).expandedTo(layout->minimumSize()));
  resize(minimumSize());
}

TForm7::~TForm7() = default;

void TForm7::begin(const QString& what) {
  setAccessibleDescription(what);
  ProgressBar1->setValue(0);
  BitBtn1->setEnabled(true);
  if (QScreen* where = screen()) move(where->availableGeometry().center() - rect().center());
  show();
  raise();
  repaint();
}

void TForm7::set_progress(int64_t done, int64_t total) {
  if (total <= 0) return;
  ProgressBar1->setValue(static_cast<int>(std::min<int64_t>(done, total) * 1000 / total));
}

void TForm7::end() {
  hide();
}

void TForm7::reject() {
  emit cancel_requested();
}

}  // namespace vemla
