// AnalyticsReporter: sends usage statistics as hits of Matomo's HTTP tracking
// API: one POST request per hit to the configured endpoint, its parameters
// form-encoded in the body, with a user agent that says what the program and
// the system are.
//
// Hits wait in memory, at most 100 of them (further hits are dropped until
// there is room), and go one at a time: the next request starts when the
// previous one ended. A failed hit is written to standard output and not
// retried. Nothing is kept across launches; destroying the reporter drops the
// waiting hits and ends the request in flight.
//
// The reporter sends whatever it is given: whether the user agreed to
// statistics is the tracker's business (see UserActionsTracker).
//
// Threads: main thread only.
#pragma once

#include <QByteArray>
#include <QUrl>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QNetworkAccessManager;

namespace outfitter {

class HttpExchange;

class AnalyticsReporter {
public:
    static constexpr std::size_t kMaximumHits = 100;

    using Parameters = std::vector<std::pair<std::string, std::string>>;

    struct Identity {
        QUrl endpoint;           // .../matomo.php
        std::string siteID;      // "idsite"
        std::string clientID;    // "_id", 16 hexadecimal digits
        std::string appName;     // the title of a visit
        std::string appURL;      // "url" of every hit: app://<identifier>/
        std::string language;    // "lang", when known
        std::string resolution;  // "res" (1920x1080), when known
        QByteArray userAgent;
    };

    AnalyticsReporter(QNetworkAccessManager& network, Identity identity);
    ~AnalyticsReporter();
    AnalyticsReporter(const AnalyticsReporter&) = delete;
    AnalyticsReporter& operator=(const AnalyticsReporter&) = delete;

    // A new visit, titled with the application's name.
    void session(bool start);
    // An event; an empty label is left out.
    void event(const std::string& category, const std::string& action,
               const std::string& label = {});
    // A hit of the common parameters followed by `parameters`.
    void send(const Parameters& parameters);

    // Hits waiting, the one in flight included.
    std::size_t pendingHits() const { return waiting_.size() + (inFlight_ ? 1 : 0); }
    const Identity& identity() const { return identity_; }

private:
    void sendNext();

    QNetworkAccessManager& network_;
    Identity identity_;
    std::deque<QByteArray> waiting_;
    std::unique_ptr<HttpExchange> inFlight_;
};

}  // namespace outfitter
