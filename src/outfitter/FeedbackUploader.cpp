#include "outfitter/FeedbackUploader.h"

#include <QNetworkAccessManager>
#include <QTimer>

#include <cstdio>
#include <variant>

#include "keel/DispatchQueue.h"
#include "keel/JSONLimits.h"
#include "keel/LocalizedString.h"
#include "outfitter/FeedbackAttachments.h"
#include "outfitter/HttpExchange.h"
#include "outfitter/NetworkPolicy.h"
#include "outfitter/Reachability.h"
#include "outfitter/ReleaseConfiguration.h"

namespace outfitter {

namespace {

using Kind = FeedbackUploaderError::Kind;

// The characters a URL query may hold as they are.
constexpr char kQueryAllowed[] = "!$&'()*+,-./:;=?@_~";

std::variant<std::string, FeedbackUploaderError> encodeBody(const FeedbackContent& content,
                                                            const BundleInfo& bundle) {
    try {
        return content.buildDictRepresentation(bundle).dump();
    } catch (const std::exception& error) {
        return FeedbackUploaderError(Kind::dataEncodingFailed, error.what());
    }
}

// The service's verdict on a received answer.
std::optional<FeedbackUploaderError> verdictOf(const QByteArray& body) {
    if (body.isEmpty()) return FeedbackUploaderError(Kind::responseIsEmpty);
    nlohmann::json answer;
    try {
        answer = keel::parseBoundedJSON(
            std::string_view(body.constData(), static_cast<size_t>(body.size())));
    } catch (const std::exception&) {
        return FeedbackUploaderError(Kind::responseDecodingFailed);
    }
    if (!answer.is_object()) return FeedbackUploaderError(Kind::responseDecodingFailed);
    const auto message = answer.find("message");
    const auto code = answer.find("code");
    if (message == answer.end() || !message->is_string() || code == answer.end() ||
        !code->is_number_integer())
        return FeedbackUploaderError(Kind::responseDecodingFailed);
    if (code->get<std::int64_t>() >= 0) return FeedbackUploaderError(Kind::serverHandlingFailed);
    std::printf("%s\n", message->get<std::string>().c_str());
    return std::nullopt;
}

std::optional<FeedbackUploaderError> errorOf(const HttpAnswer& answer) {
    const std::string description = answer.error.toStdString();
    switch (answer.outcome) {
        case HttpAnswer::Outcome::received:
            return verdictOf(answer.body);
        case HttpAnswer::Outcome::refused:
        case HttpAnswer::Outcome::failed:
            return FeedbackUploaderError(Kind::dataSendingFailed, description);
        case HttpAnswer::Outcome::rejected:
            return FeedbackUploaderError(Kind::serverHandlingFailed, description);
        case HttpAnswer::Outcome::tooLarge:
            return FeedbackUploaderError(Kind::responseDecodingFailed, description);
    }
    return FeedbackUploaderError(Kind::dataSendingFailed);
}

}  // namespace

std::unique_ptr<FeedbackUploader> FeedbackUploader::make(const ReleaseConfiguration& configuration,
                                                         QNetworkAccessManager& network,
                                                         BundleInfo bundle,
                                                         ReachabilityCheck reachability) {
    if (!configuration.feedbackServer || !configuration.feedbackKey) return nullptr;
    const std::string text =
        *configuration.feedbackServer + "?apiKey=" + *configuration.feedbackKey;
    const QByteArray encoded =
        QByteArray::fromStdString(text).toPercentEncoding(QByteArray(kQueryAllowed));
    const QUrl url = QUrl::fromEncoded(encoded, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        std::printf("FeedbackReporter configuration cannot be encoded.\n");
        return nullptr;
    }
    if (!NetworkPolicy::isAllowedAddress(url)) {
        std::printf("FeedbackReporter refuses to send to %s: only HTTPS addresses are allowed.\n",
                    url.toDisplayString(QUrl::RemoveQuery).toUtf8().constData());
        return nullptr;
    }
    return std::unique_ptr<FeedbackUploader>(
        new FeedbackUploader(url, network, std::move(bundle), std::move(reachability)));
}

FeedbackUploader::FeedbackUploader(QUrl serverURL, QNetworkAccessManager& network,
                                   BundleInfo bundle, ReachabilityCheck reachability)
    : serverURL_(std::move(serverURL)),
      network_(network),
      bundle_(std::move(bundle)),
      reachability_(std::move(reachability)) {}

FeedbackUploader::~FeedbackUploader() = default;

bool FeedbackUploader::checkReachability() const {
    return reachability_ ? reachability_(serverURL_) : Reachability::isReachable(serverURL_);
}

void FeedbackUploader::upload(const FeedbackContent& content, Completion completion) {
    if (uploading_) {
        QTimer::singleShot(0, &network_, [completion] {
            completion(FeedbackUploaderError(Kind::dataSendingFailed,
                                             keel::TL("FeedbackUploaderAlreadySending")));
        });
        return;
    }
    uploading_ = true;
    completion_ = std::move(completion);
    std::weak_ptr<int> alive = lifeToken_;
    keel::DispatchQueue::global(keel::QualityOfService::background)
        .async([this, alive, content, bundle = bundle_] {
            auto body = encodeBody(content, bundle);
            keel::DispatchQueue::main().async([this, alive, body = std::move(body)] {
                if (alive.expired()) return;  // the uploader is gone
                if (const auto* error = std::get_if<FeedbackUploaderError>(&body))
                    finish(*error);
                else
                    send(std::get<std::string>(body));
            });
        });
}

void FeedbackUploader::send(const std::string& body) {
    HttpRequest request;
    request.url = serverURL_;
    request.method = "POST";
    request.body = QByteArray::fromStdString(body);
    request.contentType = "application/json";
    exchange_ = HttpExchange::start(network_, request,
                                    [this](const HttpAnswer& answer) { finish(errorOf(answer)); });
}

void FeedbackUploader::finish(const std::optional<FeedbackUploaderError>& error) {
    uploading_ = false;
    auto completion = std::move(completion_);
    completion_ = nullptr;
    // The completion may destroy this uploader: nothing of it is used after.
    if (completion) completion(error);
}

}  // namespace outfitter
