#include "help_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextDocument>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "help_pages.h"
#include "look.h"

namespace vemla {

namespace {

QToolButton* nav_button(QWidget* parent, const char* name, const QString& caption, const QIcon& icon,
                        const QString& hint_text) {
  auto* button = named(new QToolButton(parent), name);
  button->setText(caption);
  button->setIcon(icon);
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAccessibleName(hint_text);
  hint(button, hint_text);
  return button;
}

// Headings a little smaller than the browser's own, and links that stand out against the page whatever the
// palette (a dark palette may keep a dark link colour).
QString page_style(const QPalette& palette) {
  QColor link = palette.color(QPalette::Link);
  const QColor page = palette.color(QPalette::Base);
  if (std::abs(link.lightness() - page.lightness()) < 100)
    link = page.lightness() < 128 ? QColor(0x8a, 0xb4, 0xf8) : QColor(0x1a, 0x4f, 0xa8);
  return QStringLiteral("h1 { font-size: x-large; } h2 { font-size: large; } a { color: %1; }").arg(link.name());
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), home_(parent) {
  load_resources();
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Vemla Help"));
  help_context(this, kGeneralHelp);

  Back = nav_button(this, "Back", QStringLiteral("&Back"), theme_icon("go-previous", QStyle::SP_ArrowBack),
                    QStringLiteral("The page shown before"));
  Forward = nav_button(this, "Forward", QStringLiteral("&Forward"), theme_icon("go-next", QStyle::SP_ArrowForward),
                       QStringLiteral("The page shown after"));
  Contents = nav_button(this, "Contents", QStringLiteral("&Contents"), theme_icon("go-home", QStyle::SP_DirHomeIcon),
                        QStringLiteral("The contents of the help"));
  Browser = named(new QTextBrowser(this), "Browser");
  Browser->setOpenExternalLinks(true);
  Browser->document()->setDefaultStyleSheet(page_style(Browser->palette()));
  Browser->setAccessibleName(QStringLiteral("Help page"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

  Back->setEnabled(false);
  Forward->setEnabled(false);
  connect(Back, &QToolButton::clicked, Browser, &QTextBrowser::backward);
  connect(Forward, &QToolButton::clicked, Browser, &QTextBrowser::forward);
  connect(Contents, &QToolButton::clicked, this, [this] { Browser->setSource(help_page(kGeneralHelp)); });
  connect(Browser, &QTextBrowser::backwardAvailable, Back, &QToolButton::setEnabled);
  connect(Browser, &QTextBrowser::forwardAvailable, Forward, &QToolButton::setEnabled);
  connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
    const QString title = Browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Vemla Help") : QStringLiteral("Vemla Help: ") + title);
  });

  auto* bar = new QHBoxLayout;
  bar->addWidget(Back);
  bar->addWidget(Forward);
  bar->addWidget(Contents);
  bar->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(Browser, 1);
  layout->addWidget(buttons);
  resize(640, 560);
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::show_context(int context) {
  // A window opened beside a modal dialog would take no input until the dialog closes; over it, it does.
  QWidget* owner = QApplication::activeModalWidget();
  if (!owner || owner == this) owner = home_;
  if (owner != parentWidget()) setParent(owner, windowFlags());
  Browser->setSource(help_page(context));
  show();
  raise();
  activateWindow();
}

void HelpWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) {
    Browser->document()->setDefaultStyleSheet(page_style(Browser->palette()));
    Browser->reload();
  }
  QDialog::changeEvent(event);
}

QUrl HelpWindow::page() const {
  return Browser->source();
}

HelpKey::HelpKey(std::function<void(int)> open, QObject* parent) : QObject(parent), open_(std::move(open)) {
  QCoreApplication::instance()->installEventFilter(this);
}

HelpKey::~HelpKey() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

bool HelpKey::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_F1 || key->key() == Qt::Key_Help) && key->modifiers() == Qt::NoModifier) {
      open_(help_context_of(watched));
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vemla
