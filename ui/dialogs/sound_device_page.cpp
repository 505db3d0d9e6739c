#include "sound_device_page.h"

#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdlib>

#include "chosen_device.h"
#include "look.h"

namespace vemla {

namespace {

constexpr const char* kChoiceKey = "SoundDevice";
constexpr int kNoteTime = 15000;  // ms a note about the device stays in the status bar

// Some drivers describe a device at length; the dialog is sized to its longest item.
QString shortened(const QString& description) {
  constexpr int kLongest = 60;
  return description.size() <= kLongest ? description : description.left(kLongest - 1) + QChar(0x2026);
}

}  // namespace

SoundDevicePage::SoundDevicePage(ChosenDevice& device, QDialog& options, QStatusBar& status, QObject* parent)
    : QObject(parent), device_(device), options_(options) {
  SoundPage = named(new QWidget, "SoundPage");
  auto* group = new QGroupBox(QStringLiteral("Sound device"), SoundPage);
  group->setAccessibleName(group->title());
  SoundDevice = named(new QComboBox(group), "SoundDevice");
  SoundDevice->setAccessibleName(QStringLiteral("Sound device"));
  SoundDevice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  hint(SoundDevice, QStringLiteral("The sound device Vemla plays on"));
  SoundDeviceNote = named(new QLabel(group), "SoundDeviceNote");
  SoundDeviceNote->setWordWrap(true);

  auto* inside = new QVBoxLayout(group);
  inside->addWidget(SoundDevice);
  inside->addWidget(SoundDeviceNote);
  auto* layout = new QVBoxLayout(SoundPage);
  layout->addWidget(group);
  layout->addStretch(1);
  if (auto* pages = options.findChild<QTabWidget*>()) {
    pages->insertTab(1, SoundPage, QStringLiteral("Sound"));
  } else {
    SoundPage->setParent(&options);
  }

  const QString environment = environment_choice();
  if (environment.isEmpty()) {
    device_.choose(kept_choice().toStdString());
    SoundDeviceNote->setText(QStringLiteral("A new choice is heard from the next track on."));
  } else {
    // The choice stays kept for when the variable is gone; the device the variable names plays.
    SoundDevice->setEnabled(false);
    SoundDeviceNote->setText(
        QStringLiteral(
            "The environment variable VEMLA_AUDIO (\"%1\") chooses the sound device while it is set.")
            .arg(environment));
  }
  connect(SoundDevice, &QComboBox::currentIndexChanged, this, &SoundDevicePage::chosen);

  device_.set_note([&status](const std::string& text) {
    QMetaObject::invokeMethod(
        &status, [&status, note = QString::fromStdString(text)] { status.showMessage(note, kNoteTime); },
        Qt::QueuedConnection);
  });
  options_.installEventFilter(this);
}

SoundDevicePage::~SoundDevicePage() {
  options_.removeEventFilter(this);
  device_.set_note({});
}

QString SoundDevicePage::kept_choice() {
  const QString pcm = QSettings().value(QString::fromLatin1(kChoiceKey)).toString();
  return pcm.isEmpty() ? QStringLiteral("default") : pcm;
}

void SoundDevicePage::keep_choice(const QString& pcm) {
  QSettings().setValue(QString::fromLatin1(kChoiceKey), pcm);
}

QString SoundDevicePage::environment_choice() {
  const char* value = std::getenv("VEMLA_AUDIO");
  return value ? QString::fromLocal8Bit(value) : QString();
}

bool SoundDevicePage::eventFilter(QObject* watched, QEvent* event) {
  // The devices as they are when the user looks: a USB device may have come or gone since.
  if (watched == &options_ && event->type() == QEvent::Show) show_devices(list_alsa_pcms());
  return QObject::eventFilter(watched, event);
}

void SoundDevicePage::show_devices(const std::vector<PcmDevice>& devices) {
  const QString kept = kept_choice();
  filling_ = true;
  SoundDevice->clear();
  int current = -1;
  for (const PcmDevice& device : devices) {
    const QString name = QString::fromStdString(device.name);
    SoundDevice->addItem(
        QStringLiteral("%1 (%2)").arg(shortened(QString::fromStdString(device.description)), name), name);
    if (name == kept) current = SoundDevice->count() - 1;
  }
  if (current < 0) {
    // A device chosen before and not there now stays the choice, said to be missing, until another is chosen.
    SoundDevice->addItem(QStringLiteral("%1 (not connected)").arg(kept), kept);
    current = SoundDevice->count() - 1;
  }
  SoundDevice->setCurrentIndex(current);
  filling_ = false;
  // The dialog keeps its size fixed to its contents: it grows (or shrinks) with the longest device now.
  // Each size on the way up is cached: told at once, so that the dialog has its new size when it shows.
  for (QWidget* widget = SoundDevice; widget && widget != &options_; widget = widget->parentWidget())
    widget->updateGeometry();
  if (QLayout* layout = options_.layout()) layout->activate();
}

void SoundDevicePage::chosen(int index) {
  if (filling_ || index < 0) return;
  const QString pcm = SoundDevice->itemData(index).toString();
  keep_choice(pcm);
  device_.choose(pcm.toStdString());
}

}  // namespace vemla
