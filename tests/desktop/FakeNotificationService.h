// A desktop notification service for tests: registers itself as
// org.freedesktop.Notifications on a connection of its own to the session
// bus and records every notification it is sent. Run such tests on a private
// bus (dbus-run-session), never on the user's.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace desktop::testing {

class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Received {
        QString applicationName;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    FakeNotificationService();
    ~FakeNotificationService() override;

    // Whether the service took its name on the bus.
    bool isRegistered() const { return registered_; }
    const std::vector<Received>& received() const { return received_; }

public slots:
    uint Notify(const QString& applicationName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout);
    QStringList GetCapabilities();

private:
    QDBusConnection connection_;
    bool registered_ = false;
    std::vector<Received> received_;
};

}  // namespace desktop::testing
