#include "last_library.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QTabWidget>
#include <QVBoxLayout>

#include "library_commands.h"
#include "library_files.h"
#include "look.h"
#include "main_window.h"

namespace vemla {

namespace {

constexpr const char* kReopenKey = "ReopenLastLibrary";
constexpr const char* kLibraryKey = "LastLibrary";

}  // namespace

LastLibrary::LastLibrary(TForm1& form, LibraryCommands& library, QDialog& options, QObject* parent)
    : QObject(parent), form_(form), library_(library), options_(options), open_(library.open_library_path()) {
  add_check_box(options);
  connect(&library_, &LibraryCommands::library_changed, this, [this] { open_ = library_.open_library_path(); });
  // Before the window's own closing rules close the library (a filter installed later is asked first).
  form_.installEventFilter(this);
  options_.installEventFilter(this);
  // A session that ends the program without closing the window: the library as last told.
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { note(open_); });
}

LastLibrary::~LastLibrary() {
  form_.removeEventFilter(this);
  options_.removeEventFilter(this);
}

bool LastLibrary::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &form_ && event->type() == QEvent::Close) {
    open_ = library_.open_library_path();
    note(open_);
  } else if (watched == &options_ && event->type() == QEvent::Show) {
    check_box_->setChecked(reopen_enabled());
  }
  return QObject::eventFilter(watched, event);
}

void LastLibrary::note(const QString& library) {
  QSettings settings;
  settings.setValue(QString::fromLatin1(kLibraryKey), library);
}

QString LastLibrary::library_to_reopen() const {
  if (!reopen_enabled()) return {};
  const QString library = noted_library();
  if (library.isEmpty()) return {};
  return library_exists(split_library_path(QFile::encodeName(library).toStdString())) ? library : QString();
}

bool LastLibrary::reopen_enabled() {
  return QSettings().value(QString::fromLatin1(kReopenKey), true).toBool();
}

void LastLibrary::set_reopen_enabled(bool on) {
  QSettings().setValue(QString::fromLatin1(kReopenKey), on);
}

QString LastLibrary::noted_library() {
  return QSettings().value(QString::fromLatin1(kLibraryKey)).toString();
}

// On a page of its own where the dialog has pages, else below what the dialog shows.
void LastLibrary::add_check_box(QDialog& options) {
  check_box_ = named(new QCheckBox(QStringLiteral("Reopen the last library at start")), "ReopenLastLibrary");
  hint(check_box_, QStringLiteral("Open the library that was open when Vemla last closed"));
  check_box_->setAccessibleName(check_box_->text());
  check_box_->setChecked(reopen_enabled());
  connect(check_box_, &QCheckBox::toggled, this, [](bool on) { set_reopen_enabled(on); });

  if (auto* pages = options.findChild<QTabWidget*>()) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("StartPage"));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(check_box_);
    layout->addStretch(1);
    pages->addTab(page, QStringLiteral("Start"));
  } else if (auto* layout = qobject_cast<QBoxLayout*>(options.layout())) {
    layout->insertWidget(0, check_box_);
  } else if (!options.layout()) {
    auto* own = new QVBoxLayout(&options);
    own->addWidget(check_box_);
  } else {
    check_box_->setParent(&options);
  }
}

}  // namespace vemla
