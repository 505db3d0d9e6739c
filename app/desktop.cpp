#include "desktop.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "message_boxes.h"
#include "program.h"

namespace vemla {

namespace {

// How often a library handed over while a dialog is open looks again whether the dialog has closed.
constexpr int kBusyRetryMs = 250;

bool dialog_open() {
  for (const QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && window->isModal() && !is_message_box(window)) return true;
  }
  return false;
}

}  // namespace

Desktop::Desktop(Program& program, QDBusConnection bus, std::function<void()> quit_application)
    : program(program),
      controls(program.form1, program.data_module, program.player_control, std::move(quit_application)),
      mpris(controls, bus),
      instance([this](const QString& library) { activate(library); }, bus),
      keys(program.form1, [this] { controls.play_pause(); }),
      last_library(program.form1, program.library, program.form2),
      bus_(std::move(bus)) {
  PlayerControl& player = program.player_control;
  keys.bind_transport({[this] { controls.play(); }, [this] { controls.pause(); },
                       [this] { controls.play_pause(); }, [&player] { player.StopClick(); },
                       [&player] { player.NextClick(); }, [&player] { player.PriorClick(); },
                       [&program] { program.volume.step(1); }, [&program] { program.volume.step(-1); }});
  QObject::connect(&program.cover, &CoverArt::changed, &controls,
                   [this] { controls.set_art_url(this->program.cover.art_url()); });
}

Desktop::~Desktop() = default;

ClaimResult Desktop::start(const QString& library, QString& problem) {
  if (!bus_.isConnected()) return ClaimResult::Alone;
  // The objects first: a later start that finds the name finds them behind it.
  if (!mpris.register_object() || !instance.register_object()) {
    problem = QStringLiteral("the media controls could not be put on the session bus");
    return ClaimResult::Alone;
  }
  return claim_or_hand_over(bus_, library, problem);
}

void Desktop::open_at_start(const QString& library) {
  const QString chosen = library.isEmpty() ? last_library.library_to_reopen() : library;
  if (chosen.isEmpty()) return;
  // After the window's first showing has opened the settings table, which the library's flags go into.
  QTimer::singleShot(0, &controls, [this, chosen] { open_when_free(chosen); });
}

void Desktop::activate(const QString& library) {
  controls.raise();
  // The library already open is left as it is: what plays, the shuffled playlist and the place in it go on.
  if (!library.isEmpty() && !is_open_library(library)) open_when_free(library);
}

bool Desktop::is_open_library(const QString& library) const {
  const QString open = program.library.open_library_path();
  if (open.isEmpty()) return false;
  // By folder and base name, as a library is named: its ".mb" file or its track table.
  const auto key = [](const QString& file) {
    const QFileInfo info(file);
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + info.completeBaseName();
  };
  const QString named = key(library);
  return !named.isEmpty() && named == key(open);
}

// Opening a library under an open dialog would pull the tables from under it: it waits until the dialog
// closes. A message box holds no caller up, so it is no reason to wait (and a message of a failed open is
// counted into the box already shown rather than queued behind it).
void Desktop::open_when_free(const QString& library) {
  if (dialog_open()) {
    QTimer::singleShot(kBusyRetryMs, &controls, [this, library] { open_when_free(library); });
    return;
  }
  program.library.open_library_file(library);
}

}  // namespace vemla
