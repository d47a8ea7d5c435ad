#include "desktop/FakeNotificationService.h"

namespace desktop::testing {

namespace {
const char* const connectionName = "quillfen-fake-notifications";
}

FakeNotificationService::FakeNotificationService()
    : connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {
    registered_ = connection_.isConnected() &&
                  connection_.registerObject("/org/freedesktop/Notifications", this,
                                             QDBusConnection::ExportAllSlots) &&
                  connection_.registerService("org.freedesktop.Notifications");
}

FakeNotificationService::~FakeNotificationService() {
    connection_.unregisterService("org.freedesktop.Notifications");
    connection_.unregisterObject("/org/freedesktop/Notifications");
    QDBusConnection::disconnectFromBus(connectionName);
}

uint FakeNotificationService::Notify(const QString& applicationName, uint, const QString& icon,
                                     const QString& summary, const QString& body,
                                     const QStringList&, const QVariantMap& hints, int) {
    received_.push_back({applicationName, icon, summary, body, hints});
    return static_cast<uint>(received_.size());
}

QStringList FakeNotificationService::GetCapabilities() {
    return {"body"};
}

}  // namespace desktop::testing
