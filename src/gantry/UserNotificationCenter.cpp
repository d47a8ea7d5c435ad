#include "gantry/UserNotificationCenter.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

namespace gantry {

UserNotificationCenter::UserNotificationCenter(QString applicationName, QString iconName,
                                               QString desktopEntry, QDBusConnection connection,
                                               QObject* parent)
    : QObject(parent),
      applicationName_(std::move(applicationName)),
      iconName_(std::move(iconName)),
      desktopEntry_(std::move(desktopEntry)),
      connection_(std::move(connection)) {}

void UserNotificationCenter::deliver(const QString& title, const QString& informativeText) {
    if (!connection_.isConnected()) {
        emit deliveryFinished(false);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                       "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    QVariantMap hints;
    if (!desktopEntry_.isEmpty()) hints.insert("desktop-entry", desktopEntry_);
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints,
    // expire_timeout): a new notification that expires as the server likes.
    call << applicationName_ << quint32(0) << iconName_ << title << informativeText << QStringList()
         << hints << qint32(-1);
    ++pending_;
    auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                --pending_;
                emit deliveryFinished(!watcher->isError());
            });
}

}  // namespace gantry
