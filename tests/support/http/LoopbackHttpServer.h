// LoopbackHttpServer: an HTTP server on 127.0.0.1 for the release kit's tests.
// It listens on a port the system picks, records every request it receives
// and answers each from a script: a status and body, after a delay, or by
// closing the connection, by sending a body without end, or by redirecting.
// In HTTPS mode it serves a certificate for 127.0.0.1 made with `openssl` on
// first use; `trustTestCertificate()` makes the process's clients accept it.
//
// It runs on the Qt event loop of the thread that made it; tests spin that
// loop while they wait. Every connection serves one request and is closed
// after the answer ("Connection: close").
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QUrl>

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

struct ScriptedAnswer {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QList<QPair<QByteArray, QByteArray>> headers;  // sent after the usual ones
    std::chrono::milliseconds delay{0};
    bool closeWithoutAnswer = false;  // hang up instead of answering
    bool endlessBody = false;         // send `body` (or filler) until the client hangs up

    static ScriptedAnswer json(QByteArray body, int status = 200);
    static ScriptedAnswer redirect(const QUrl& to, int status = 302);
};

struct RecordedRequest {
    QByteArray method;
    QByteArray target;                             // path and query, as sent
    QList<QPair<QByteArray, QByteArray>> headers;  // names in lower case
    QByteArray body;

    QByteArray header(const QByteArray& lowerCaseName) const;
};

class LoopbackHttpServer : public QObject {
public:
    enum class Mode { http, https };

    explicit LoopbackHttpServer(Mode mode = Mode::http);
    ~LoopbackHttpServer() override;

    // The address of `pathAndQuery` on this server.
    QUrl url(const QString& pathAndQuery = QStringLiteral("/")) const;

    // Answers the next requests in order; once the script is used up, every
    // request gets the default answer (200 with "{}" unless set).
    void enqueue(ScriptedAnswer answer);
    void setDefaultAnswer(ScriptedAnswer answer);

    const std::vector<RecordedRequest>& requests() const { return requests_; }
    // Requests received whose answer has not been sent completely yet.
    int pendingAnswers() const { return pending_; }

private:
    struct Connection;
    void accept();
    void readFrom(const std::shared_ptr<Connection>& connection);
    void answer(QTcpSocket* socket, const ScriptedAnswer& answer);

    Mode mode_;
    QTcpServer* server_ = nullptr;
    std::deque<ScriptedAnswer> script_;
    ScriptedAnswer defaultAnswer_;
    std::vector<RecordedRequest> requests_;
    int pending_ = 0;
};

// Makes every TLS client of this process accept the test certificate.
void trustTestCertificate();

}  // namespace testsupport
