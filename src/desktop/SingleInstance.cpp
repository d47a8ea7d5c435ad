#include "desktop/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace desktop {

namespace {

constexpr int connectMilliseconds = 1000;
constexpr int answerMilliseconds = 3000;
const QByteArray raiseRequest = "raise\n";
const QByteArray raisedAnswer = "ok\n";

QString defaultRuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
    // Qt makes a folder of the user's own (mode 0700) when the variable is unset.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

}  // namespace

SingleInstance::SingleInstance(QString name, QString runtimeFolder, QObject* parent)
    : QObject(parent) {
    if (runtimeFolder.isEmpty()) runtimeFolder = defaultRuntimeFolder();
    if (!runtimeFolder.isEmpty()) socketPath_ = QDir(runtimeFolder).filePath(name + ".socket");
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
            if (socket->bytesAvailable() > 0) answer(socket);
        }
    });
}

SingleInstance::Claim SingleInstance::claim() {
    if (socketPath_.isEmpty()) return Claim::unavailable;
    QLockFile lock(socketPath_ + ".lock");
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(answerMilliseconds + connectMilliseconds)) {
        // Another launch holds the lock for longer than it ever needs: ask
        // the instance it made, if any.
        return askRunningInstance() ? Claim::raisedRunningInstance : Claim::unavailable;
    }
    if (askRunningInstance()) return Claim::raisedRunningInstance;
    // Nobody answers: whatever is at the path is left from an instance that
    // ended without removing it.
    QLocalServer::removeServer(socketPath_);
    if (!server_.listen(socketPath_)) return Claim::unavailable;
    return Claim::first;
}

bool SingleInstance::askRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(connectMilliseconds)) return false;
    socket.write(raiseRequest);
    if (!socket.waitForBytesWritten(connectMilliseconds)) return false;
    // An instance that accepted the connection is running, whether or not
    // its answer arrives in time: never start a second one beside it.
    socket.waitForReadyRead(answerMilliseconds);
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::answer(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        // A line is at most a few bytes; anything longer is not ours.
        if (socket->bytesAvailable() > 64) socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(64);
    if (line == raiseRequest) {
        emit raiseRequested();
        socket->write(raisedAnswer);
        socket->flush();
    }
    socket->disconnectFromServer();
}

}  // namespace desktop
