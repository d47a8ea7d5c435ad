// UserNotificationCenter: notifications on the desktop, through the
// notification service of the session bus (org.freedesktop.Notifications).
// A notification goes out with the application's name and icon. When there
// is no session bus, or no service answers, nothing is shown and the
// application goes on: a notification is a courtesy, never a condition.
//
// Threads: main thread only. Delivering does not block; the service's answer
// arrives on the event loop.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace gantry {

class UserNotificationCenter : public QObject {
    Q_OBJECT

public:
    // Uses `connection` (by default the session bus) and names the
    // application `applicationName`, with the icon `iconName` of the icon
    // theme and the desktop entry `desktopEntry` (without ".desktop").
    UserNotificationCenter(QString applicationName, QString iconName, QString desktopEntry,
                           QDBusConnection connection = QDBusConnection::sessionBus(),
                           QObject* parent = nullptr);

    void deliver(const QString& title, const QString& informativeText);

    // Notifications sent whose answer has not arrived yet.
    int pendingDeliveries() const { return pending_; }

signals:
    // The service answered (`delivered`) or the notification was dropped.
    void deliveryFinished(bool delivered);

private:
    QString applicationName_;
    QString iconName_;
    QString desktopEntry_;
    QDBusConnection connection_;
    int pending_ = 0;
};

}  // namespace gantry
