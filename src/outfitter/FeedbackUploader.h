// FeedbackUploader: sends one FeedbackContent to the feedback service as a
// JSON POST request and interprets the service's answer.
//
// The service takes a report when it answers with a 2xx status and a JSON
// object holding "code", a negative integer, and "message", a string. Every
// other outcome is an error: the transport's failure, a refused address or
// redirect, a non-2xx status, an empty, oversized or malformed answer, or a
// "code" of zero or more.
//
// Threads: create, use and destroy on the main thread. The body (system
// facts, Base64, the attachments' archive) is built on a background queue;
// the completion runs on the main thread, always after `upload` returned.
// Destroying the uploader cancels the upload; its completion then never runs.
#pragma once

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

#include "outfitter/BundleInfo.h"
#include "outfitter/FeedbackContent.h"
#include "outfitter/FeedbackUploaderError.h"

class QNetworkAccessManager;

namespace outfitter {

class HttpExchange;
struct ReleaseConfiguration;

class FeedbackUploader {
public:
    using Completion = std::function<void(const std::optional<FeedbackUploaderError>& error)>;
    using ReachabilityCheck = std::function<bool(const QUrl&)>;

    // An uploader for the configuration's server and key, or nothing when
    // either is missing, when they form no address (the server's address,
    // "?apiKey=" and the key, percent-encoded as a query), or when the
    // address is not HTTPS (loopback addresses excepted). The reasons of the
    // last two are written to standard output.
    static std::unique_ptr<FeedbackUploader> make(const ReleaseConfiguration& configuration,
                                                  QNetworkAccessManager& network,
                                                  BundleInfo bundle = BundleInfo::main(),
                                                  ReachabilityCheck reachability = {});
    ~FeedbackUploader();
    FeedbackUploader(const FeedbackUploader&) = delete;
    FeedbackUploader& operator=(const FeedbackUploader&) = delete;

    // The full request address, the key included.
    const QUrl& serverURL() const { return serverURL_; }

    // Whether the network lets the request go (see Reachability).
    bool checkReachability() const;

    // Sends `content`. One upload at a time: a second one while the first
    // runs completes with `dataSendingFailed` and sends nothing.
    void upload(const FeedbackContent& content, Completion completion);
    bool isUploading() const { return uploading_; }

private:
    FeedbackUploader(QUrl serverURL, QNetworkAccessManager& network, BundleInfo bundle,
                     ReachabilityCheck reachability);
    void send(const std::string& body);
    void finish(const std::optional<FeedbackUploaderError>& error);

    QUrl serverURL_;
    QNetworkAccessManager& network_;
    BundleInfo bundle_;
    ReachabilityCheck reachability_;
    Completion completion_;
    std::unique_ptr<HttpExchange> exchange_;
    bool uploading_ = false;
    // Background work checks it, on the main thread, before touching the uploader.
    std::shared_ptr<int> lifeToken_ = std::make_shared<int>(0);
};

}  // namespace outfitter
