#include "desktop/TerminationSignals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

namespace desktop {

namespace {

constexpr int handled[3] = {SIGTERM, SIGINT, SIGHUP};
volatile std::sig_atomic_t writeSocket = -1;

void handleSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Nothing to do when the pipe is full: a request to end is already waiting.
    [[maybe_unused]] const ssize_t written = ::write(writeSocket, &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets_) != 0) {
        sockets_[0] = sockets_[1] = -1;
        return;
    }
    writeSocket = sockets_[1];
    notifier_ = new QSocketNotifier(sockets_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readSignals(); });
    for (std::size_t i = 0; i < std::size(handled); ++i) {
        struct sigaction action = {};
        action.sa_handler = handleSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(handled[i], &action, &previous_[i]);
    }
}

TerminationSignals::~TerminationSignals() {
    if (sockets_[0] < 0) return;
    for (std::size_t i = 0; i < std::size(handled); ++i)
        sigaction(handled[i], &previous_[i], nullptr);
    writeSocket = -1;
    delete notifier_;
    ::close(sockets_[0]);
    ::close(sockets_[1]);
}

void TerminationSignals::readSignals() {
    unsigned char buffer[16];
    ssize_t count = 0;
    while ((count = ::read(sockets_[0], buffer, sizeof buffer)) > 0)
        for (ssize_t i = 0; i < count; ++i)
            emit received(buffer[i]);
}

}  // namespace desktop
