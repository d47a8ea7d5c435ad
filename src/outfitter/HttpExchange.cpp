#include "outfitter/HttpExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include "keel/LocalizedString.h"
#include "outfitter/NetworkPolicy.h"

namespace outfitter {

struct HttpExchange::State {
    Completion completion;
    QPointer<QNetworkReply> reply;
    QUrl currentURL;
    qint64 maxAnswerBytes = 0;
    std::chrono::milliseconds timeout{0};
    QByteArray body;
    qint64 bodyBytes = 0;
    std::function<bool(const QByteArray&)> bodySink;
    QString sinkError;
    std::function<void(qint64, qint64)> progress;
    QString refusal;
    bool sinkFailed = false;
    bool tooLarge = false;
    bool finished = false;
};

namespace {

using State = HttpExchange::State;

QString text(std::string_view key, const QString& argument = {}) {
    return QString::fromStdString(keel::TL(key, argument.toStdString()));
}

// An address as it may be shown: without the query, which may hold a key.
QString displayed(const QUrl& url) {
    return url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery);
}

void complete(const std::shared_ptr<State>& state, const HttpAnswer& answer) {
    if (state->finished) return;
    state->finished = true;
    // Moved out first: the completion may destroy the exchange.
    auto completion = std::move(state->completion);
    state->completion = nullptr;
    if (completion) completion(answer);
}

// Reads what has arrived, never more than one byte past the limit, and ends
// the transfer once the limit is passed.
void drain(const std::shared_ptr<State>& state, QNetworkReply* reply) {
    if (state->tooLarge || state->sinkFailed || state->finished || !reply->isOpen()) return;
    // Only a successful answer goes to the sink; an error page is kept as a body.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (state->bodySink && status.isValid() && status.toInt() >= 200 && status.toInt() <= 299) {
        constexpr qint64 kChunkBytes = 256 * 1024;
        while (reply->bytesAvailable() > 0) {
            const qint64 room = state->maxAnswerBytes - state->bodyBytes;
            const QByteArray chunk = reply->read(std::min(room + 1, kChunkBytes));
            if (chunk.isEmpty()) break;
            if (chunk.size() > room) {
                state->tooLarge = true;
                reply->abort();
                return;
            }
            if (!state->bodySink(chunk)) {
                state->sinkFailed = true;
                reply->abort();
                return;
            }
            state->bodyBytes += chunk.size();
        }
        if (state->progress) {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            state->progress(state->bodyBytes, length.isValid() ? length.toLongLong() : -1);
        }
        return;
    }
    const qint64 limit = state->bodySink ? std::min<qint64>(state->maxAnswerBytes, 64 * 1024)
                                         : state->maxAnswerBytes;
    const qint64 room = limit - state->body.size();
    state->body += reply->read(room + 1);
    if (state->body.size() > limit) {
        state->tooLarge = true;
        state->body.truncate(limit);
        reply->abort();
    }
}

HttpAnswer answerOf(const std::shared_ptr<State>& state, QNetworkReply* reply) {
    HttpAnswer answer;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    answer.status = status.isValid() ? status.toInt() : 0;
    answer.body = state->body;
    answer.bodyBytes = state->bodySink ? state->bodyBytes : state->body.size();
    if (!state->refusal.isEmpty()) {
        answer.outcome = HttpAnswer::Outcome::refused;
        answer.error = state->refusal;
    } else if (state->sinkFailed) {
        answer.outcome = HttpAnswer::Outcome::failed;
        answer.error = state->sinkError;
    } else if (state->tooLarge) {
        answer.outcome = HttpAnswer::Outcome::tooLarge;
        answer.error = text("HttpExchangeAnswerTooLarge", QString::number(state->maxAnswerBytes));
    } else if (answer.status != 0 && (answer.status < 200 || answer.status > 299)) {
        answer.outcome = HttpAnswer::Outcome::rejected;
        answer.error = text("HttpExchangeStatusError", QString::number(answer.status));
    } else if (reply->error() == QNetworkReply::OperationCanceledError ||
               reply->error() == QNetworkReply::TimeoutError) {
        // Nothing of ours aborted it, so the transfer stalled.
        answer.outcome = HttpAnswer::Outcome::failed;
        answer.error = text("HttpExchangeTimedOut",
                            QString::number(std::chrono::duration<double>(state->timeout).count()));
    } else if (reply->error() != QNetworkReply::NoError) {
        answer.outcome = HttpAnswer::Outcome::failed;
        answer.error = reply->errorString();
    } else if (answer.status == 0) {
        answer.outcome = HttpAnswer::Outcome::failed;
        answer.error = text("HttpExchangeNoAnswer");
    } else {
        answer.outcome = HttpAnswer::Outcome::received;
    }
    return answer;
}

}  // namespace

std::unique_ptr<HttpExchange> HttpExchange::start(QNetworkAccessManager& manager,
                                                  const HttpRequest& request,
                                                  Completion completion) {
    std::unique_ptr<HttpExchange> exchange(new HttpExchange());
    auto state = std::make_shared<State>();
    exchange->state_ = state;
    state->completion = std::move(completion);
    state->maxAnswerBytes = request.maxAnswerBytes;
    state->timeout = request.timeout;
    state->currentURL = request.url;
    state->bodySink = request.bodySink;
    state->sinkError = request.sinkError;
    state->progress = request.progress;

    if (!NetworkPolicy::isAllowedAddress(request.url)) {
        HttpAnswer answer;
        answer.outcome = HttpAnswer::Outcome::refused;
        answer.error = text("HttpExchangeRefusedAddress", displayed(request.url));
        QTimer::singleShot(0, &manager, [state, answer] { complete(state, answer); });
        return exchange;
    }

    QNetworkRequest networkRequest(request.url);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::UserVerifiedRedirectPolicy);
    networkRequest.setMaximumRedirectsAllowed(5);
    networkRequest.setTransferTimeout(static_cast<int>(request.timeout.count()));
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute,
                                QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute,
                                QNetworkRequest::Manual);
    if (!request.contentType.isEmpty())
        networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
    if (!request.userAgent.isEmpty())
        networkRequest.setHeader(QNetworkRequest::UserAgentHeader, request.userAgent);

    QNetworkReply* reply = manager.sendCustomRequest(networkRequest, request.method, request.body);
    state->reply = reply;

    QObject::connect(reply, &QNetworkReply::redirected, reply, [state, reply](const QUrl& to) {
        const QUrl target = state->currentURL.resolved(to);
        if (NetworkPolicy::isAllowedRedirect(state->currentURL, target)) {
            state->currentURL = target;
            emit reply->redirectAllowed();
        } else {
            state->refusal = text("HttpExchangeRefusedRedirect", displayed(target));
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [state, reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const bool redirect = status.isValid() && status.toInt() >= 300 && status.toInt() < 400;
        if (!redirect && length.isValid() && length.toLongLong() > state->maxAnswerBytes &&
            !state->tooLarge && !state->sinkFailed && !state->finished) {
            state->tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [state, reply] { drain(state, reply); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [state, reply] {
        reply->deleteLater();
        if (state->finished) return;
        if (state->refusal.isEmpty()) drain(state, reply);
        complete(state, answerOf(state, reply));
    });
    return exchange;
}

HttpExchange::~HttpExchange() {
    cancel();
}

void HttpExchange::cancel() {
    if (!state_ || state_->finished) return;
    state_->finished = true;
    state_->completion = nullptr;
    if (QNetworkReply* reply = state_->reply) reply->abort();
}

bool HttpExchange::isFinished() const {
    return !state_ || state_->finished;
}

}  // namespace outfitter
