// HttpExchange: one HTTP request of the release kit and its answer, with the
// rules every request of the kit follows:
//
// - HTTPS only, except to loopback addresses; a request to any other address
//   is refused without touching the network (see NetworkPolicy).
// - Redirects are followed (at most five) only where NetworkPolicy allows
//   them; one to a less safe address ends the exchange as refused.
// - No cookies are sent or kept.
// - A transfer that stalls for `timeout` fails.
// - An answer is read up to `maxAnswerBytes`; a longer one is cut off and the
//   exchange fails, so a broken or hostile server cannot fill the memory.
// - Only a 2xx status counts as received.
// - With a body sink the answer is streamed to it instead of being kept, so
//   that a download of any size needs no more memory than one chunk; the
//   limit above still holds.
//
// Threads: start, cancel and destroy on the thread of the network manager
// (the main thread). The completion runs there too, exactly once, always
// after `start` has returned, unless the exchange was cancelled or destroyed
// first. The completion may destroy the exchange.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace outfitter {

struct HttpRequest {
    QUrl url;
    QByteArray method = "POST";
    QByteArray body;
    QByteArray contentType;  // sent when not empty
    QByteArray userAgent;    // sent when not empty
    std::chrono::milliseconds timeout{30000};
    qint64 maxAnswerBytes = 64 * 1024;
    // When set, the answer's bytes go to it as they arrive, in order, and
    // `HttpAnswer::body` stays empty. Returning false ends the exchange as
    // failed with `sinkError` as its error (the sink could not store them).
    std::function<bool(const QByteArray& chunk)> bodySink;
    QString sinkError;
    // Called after each arrival: the bytes received so far, and how many the
    // server announced (-1 when it did not say).
    std::function<void(qint64 received, qint64 announced)> progress;
};

struct HttpAnswer {
    enum class Outcome {
        received,  // a 2xx status; `body` holds the answer
        refused,   // not sent, or a redirect not followed, by the rules above
        failed,    // no connection, a TLS error, a stalled or broken transfer
        rejected,  // a status other than 2xx; `body` holds what came with it
        tooLarge,  // the answer was longer than allowed and was cut off
    };
    Outcome outcome = Outcome::failed;
    int status = 0;        // the HTTP status, 0 when none arrived
    QByteArray body;       // at most `maxAnswerBytes`; with a body sink, only an error page
    qint64 bodyBytes = 0;  // how many bytes of the answer arrived
    QString error;         // what went wrong, for people; empty when received

    bool succeeded() const { return outcome == Outcome::received; }
};

class HttpExchange {
public:
    using Completion = std::function<void(const HttpAnswer&)>;

    static std::unique_ptr<HttpExchange> start(QNetworkAccessManager& manager,
                                               const HttpRequest& request, Completion completion);
    // Cancels the exchange when it has not completed yet.
    ~HttpExchange();
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

    // Aborts the request; the completion will not run.
    void cancel();
    // True once the completion ran or the exchange was cancelled.
    bool isFinished() const;

    struct State;

private:
    HttpExchange() = default;
    std::shared_ptr<State> state_;
};

}  // namespace outfitter
