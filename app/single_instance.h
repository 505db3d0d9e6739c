// One Vemla per user, over the session bus: the first start owns the bus name org.mpris.MediaPlayer2.vemla (its
// media controls' name) and answers Activate on /org/korvane/Vemla; a later start hands its library to it that
// way, which opens the library and raises its window, and ends. Without a session bus each start runs on its own.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

namespace vemla {

inline constexpr const char* kBusName = "org.mpris.MediaPlayer2.vemla";
inline constexpr const char* kInstancePath = "/org/korvane/Vemla";
inline constexpr const char* kInstanceInterface = "org.korvane.Vemla.Instance";

// What the running program does for a later start.
class InstanceService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.korvane.Vemla.Instance")
 public:
  // `activate` is called with the library named by the later start (empty when it named none).
  InstanceService(std::function<void(const QString& library)> activate, QDBusConnection connection,
                  QObject* parent = nullptr);
  ~InstanceService() override;

  // Exports Activate; false when the connection is down or the path is taken.
  bool register_object();

 public slots:
  // Raises the window and opens `library` unless it is empty. Returns before the library is opened, so that
  // the later start is not kept waiting on this program's dialogs.
  Q_SCRIPTABLE void Activate(const QString& library);

 private:
  std::function<void(const QString&)> activate_;
  QDBusConnection connection_;
  bool registered_ = false;
};

enum class ClaimResult {
  Owned,       // this program is the one: it serves the bus name
  HandedOver,  // another Vemla took the library and raised its window: this start ends
  Alone,       // no bus, or a name held by something that does not answer as Vemla: this start runs on its own
};

// Claims the bus name; when another program holds it, hands `library` to that one. `problem` says why a start
// runs alone although a bus is there.
ClaimResult claim_or_hand_over(QDBusConnection& connection, const QString& library, QString& problem);

// Hands `library` to the program that owns the bus name; false, with `problem`, when none answers.
bool hand_over(QDBusConnection& connection, const QString& library, QString& problem);

}  // namespace vemla
