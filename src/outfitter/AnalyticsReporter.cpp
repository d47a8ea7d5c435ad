#include "outfitter/AnalyticsReporter.h"

#include <QRandomGenerator>

#include <cstdio>

#include "outfitter/HttpExchange.h"

namespace outfitter {

namespace {

void append(QByteArray& body, const std::string& name, const std::string& value) {
    if (!body.isEmpty()) body += '&';
    body += QByteArray::fromStdString(name).toPercentEncoding();
    body += '=';
    body += QByteArray::fromStdString(value).toPercentEncoding();
}

}  // namespace

AnalyticsReporter::AnalyticsReporter(QNetworkAccessManager& network, Identity identity)
    : network_(network), identity_(std::move(identity)) {}

AnalyticsReporter::~AnalyticsReporter() = default;

void AnalyticsReporter::session(bool start) {
    if (start)
        send({{"new_visit", "1"}, {"action_name", identity_.appName}});
    else
        send({{"ping", "1"}});
}

void AnalyticsReporter::event(const std::string& category, const std::string& action,
                              const std::string& label) {
    Parameters parameters{{"e_c", category}, {"e_a", action}};
    if (!label.empty()) parameters.emplace_back("e_n", label);
    send(parameters);
}

void AnalyticsReporter::send(const Parameters& parameters) {
    if (pendingHits() >= kMaximumHits) {
        std::printf("Analytics hit dropped: %zu hits are waiting.\n", pendingHits());
        return;
    }
    QByteArray body;
    append(body, "idsite", identity_.siteID);
    append(body, "rec", "1");
    append(body, "apiv", "1");
    append(body, "_id", identity_.clientID);
    append(body, "rand", std::to_string(QRandomGenerator::global()->generate()));
    append(body, "send_image", "0");
    append(body, "url", identity_.appURL);
    if (!identity_.language.empty()) append(body, "lang", identity_.language);
    if (!identity_.resolution.empty()) append(body, "res", identity_.resolution);
    for (const auto& [name, value] : parameters)
        append(body, name, value);
    waiting_.push_back(std::move(body));
    sendNext();
}

void AnalyticsReporter::sendNext() {
    if (inFlight_ || waiting_.empty()) return;
    HttpRequest request;
    request.url = identity_.endpoint;
    request.method = "POST";
    request.body = std::move(waiting_.front());
    request.contentType = "application/x-www-form-urlencoded";
    request.userAgent = identity_.userAgent;
    waiting_.pop_front();
    inFlight_ = HttpExchange::start(network_, request, [this](const HttpAnswer& answer) {
        if (!answer.succeeded())
            std::printf("Failed to deliver analytics request. %s\n",
                        answer.error.toUtf8().constData());
        inFlight_.reset();  // the exchange allows its end in its completion
        sendNext();
    });
}

}  // namespace outfitter
