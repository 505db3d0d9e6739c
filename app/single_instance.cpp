#include "single_instance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMetaObject>

namespace vemla {

namespace {

// A running Vemla answers at once (the library opens after the answer); one that does not within this is stuck.
constexpr int kHandOverTimeoutMs = 10000;

}  // namespace

InstanceService::InstanceService(std::function<void(const QString&)> activate, QDBusConnection connection,
                                 QObject* parent)
    : QObject(parent), activate_(std::move(activate)), connection_(std::move(connection)) {}

InstanceService::~InstanceService() {
  if (registered_) connection_.unregisterObject(QString::fromLatin1(kInstancePath));
}

bool InstanceService::register_object() {
  if (registered_) return true;
  if (!connection_.isConnected()) return false;
  registered_ = connection_.registerObject(QString::fromLatin1(kInstancePath), this,
                                           QDBusConnection::ExportScriptableSlots);
  return registered_;
}

void InstanceService::Activate(const QString& library) {
  QMetaObject::invokeMethod(this, [this, library] { activate_(library); }, Qt::QueuedConnection);
}

bool hand_over(QDBusConnection& connection, const QString& library, QString& problem) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(QString::fromLatin1(kBusName), QString::fromLatin1(kInstancePath),
                                     QString::fromLatin1(kInstanceInterface), QStringLiteral("Activate"));
  call << library;
  // Events are served while waiting, so that a Vemla answering on this same thread (tests) is not locked out.
  const QDBusMessage reply = connection.call(call, QDBus::BlockWithGui, kHandOverTimeoutMs);
  if (reply.type() == QDBusMessage::ReplyMessage) return true;
  problem = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
  return false;
}

ClaimResult claim_or_hand_over(QDBusConnection& connection, const QString& library, QString& problem) {
  if (!connection.isConnected()) return ClaimResult::Alone;
  QDBusConnectionInterface* bus = connection.interface();
  if (!bus) return ClaimResult::Alone;
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> claim = bus->registerService(
      QString::fromLatin1(kBusName), QDBusConnectionInterface::DontQueueService,
      QDBusConnectionInterface::DontAllowReplacement);
  if (claim.isValid() && claim.value() == QDBusConnectionInterface::ServiceRegistered) return ClaimResult::Owned;
  if (hand_over(connection, library, problem)) return ClaimResult::HandedOver;
  if (!claim.isValid()) problem = claim.error().message();
  return ClaimResult::Alone;
}

}  // namespace vemla
