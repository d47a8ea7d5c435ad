// TerminationSignals: the requests to end that arrive as signals (SIGTERM
// from the session or a service manager at log-out or shutdown, SIGINT from
// a terminal, SIGHUP when the terminal goes), turned into a Qt signal on the
// main thread, so that the application can end in an orderly way instead of
// being cut off in the middle of its work.
//
// The handlers only write the signal's number into a socket pair; the
// event loop reads it. While the object lives it replaces the process's
// handlers of the three signals; its destruction puts the old ones back.
// Make one at most.
//
// Threads: main thread only (the one running the event loop).
#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace desktop {

class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readSignals();

    int sockets_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[3] = {};
};

}  // namespace desktop
