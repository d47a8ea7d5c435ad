// SingleInstance: one running application per user. The first instance
// listens on a local socket in the user's runtime folder ($XDG_RUNTIME_DIR,
// which only the user can enter); a later launch finds it there, asks it to
// bring its window to the front, and ends. A socket left behind by an
// instance that crashed is replaced. A lock file next to the socket keeps
// two launches at the same moment from both becoming the first.
//
// Threads: main thread only, with a QCoreApplication. `claim` blocks for a
// short while (at most a few seconds) before the event loop runs.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace desktop {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // `name` names the socket ("quillfen-gui"); `runtimeFolder` overrides
    // where it lives (default: $XDG_RUNTIME_DIR, else Qt's per-user runtime
    // folder).
    explicit SingleInstance(QString name, QString runtimeFolder = {}, QObject* parent = nullptr);

    enum class Claim {
        // This is the first instance; it now listens for later launches.
        first,
        // A running instance was asked to come to the front; end this one.
        raisedRunningInstance,
        // Neither: no socket could be made (this instance runs on alone).
        unavailable,
    };
    Claim claim();

    QString socketPath() const { return socketPath_; }

signals:
    // A later launch asked this instance to come to the front.
    void raiseRequested();

private:
    bool askRunningInstance();
    void answer(class QLocalSocket* socket);

    QString socketPath_;
    QLocalServer server_;
};

}  // namespace desktop
