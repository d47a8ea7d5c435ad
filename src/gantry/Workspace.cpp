#include "gantry/Workspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QStringList>

namespace gantry {

Workspace::Workspace(QObject* parent) : QObject(parent) {}

void Workspace::activateFileViewerSelecting(const std::vector<std::filesystem::path>& urls) {
    if (urls.empty()) return;
    QStringList uris;
    for (const auto& url : urls)
        uris << QUrl::fromLocalFile(QString::fromStdString(url.string())).toString();
    const QUrl folder =
        QUrl::fromLocalFile(QString::fromStdString(urls.front().parent_path().string()));
    auto fallBack = [this, folder] {
        open(folder);
        emit fellBackToOpeningFolder(folder);
    };

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return fallBack();
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                       "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, fallBack](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                if (watcher->isError()) fallBack();
            });
}

bool Workspace::open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace gantry
